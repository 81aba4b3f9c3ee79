#include "session/NameCase.h"

#include <locale.h>
#include <wctype.h>

#include "session/DisplayText.h"

namespace tarnwick::session {

namespace {

// Windows-1252 letters outside ASCII whose cases pair up at a fixed distance.
constexpr unsigned char kLatin1LowerFirst = 0xE0;
constexpr unsigned char kLatin1LowerLast = 0xFE;
constexpr unsigned char kLatin1Division = 0xF7;  // no letter
constexpr unsigned char kLatin1CaseDistance = 0x20;
struct TBytePair {
    unsigned char lower;
    unsigned char upper;
};
// š Š, œ Œ, ž Ž, ÿ Ÿ
constexpr TBytePair kCp1252Pairs[] = {{0x9A, 0x8A}, {0x9C, 0x8C}, {0x9E, 0x8E}, {0xFF, 0x9F}};

unsigned char Cp1252Upper(unsigned char b) {
    if (b >= 'a' && b <= 'z') return static_cast<unsigned char>(b - ('a' - 'A'));
    if (b >= kLatin1LowerFirst && b <= kLatin1LowerLast && b != kLatin1Division)
        return static_cast<unsigned char>(b - kLatin1CaseDistance);
    for (const TBytePair& p : kCp1252Pairs)
        if (b == p.lower) return p.upper;
    return b;
}

unsigned char Cp1252Lower(unsigned char b) {
    if (b >= 'A' && b <= 'Z') return static_cast<unsigned char>(b + ('a' - 'A'));
    const unsigned char first = kLatin1LowerFirst - kLatin1CaseDistance;
    const unsigned char last = kLatin1LowerLast - kLatin1CaseDistance;
    if (b >= first && b <= last && b != kLatin1Division - kLatin1CaseDistance)
        return static_cast<unsigned char>(b + kLatin1CaseDistance);
    for (const TBytePair& p : kCp1252Pairs)
        if (b == p.upper) return p.lower;
    return b;
}

// The UTF-8 locale whose tables map the cases; none when the system lacks it (ASCII then).
class TUtf8CaseLocale {
  public:
    TUtf8CaseLocale() : locale_(::newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr)) {}
    ~TUtf8CaseLocale() {
        if (locale_ != nullptr) ::freelocale(locale_);
    }
    TUtf8CaseLocale(const TUtf8CaseLocale&) = delete;
    TUtf8CaseLocale& operator=(const TUtf8CaseLocale&) = delete;

    char32_t Upper(char32_t c) const {
        if (locale_ == nullptr) return c < 0x80 ? static_cast<char32_t>(Cp1252Upper(c)) : c;
        return static_cast<char32_t>(::towupper_l(static_cast<wint_t>(c), locale_));
    }
    char32_t Lower(char32_t c) const {
        if (locale_ == nullptr) return c < 0x80 ? static_cast<char32_t>(Cp1252Lower(c)) : c;
        return static_cast<char32_t>(::towlower_l(static_cast<wint_t>(c), locale_));
    }

  private:
    locale_t locale_;
};

const TUtf8CaseLocale& CaseLocale() {
    static const TUtf8CaseLocale locale;  // process-wide: the system's case tables
    return locale;
}

bool ToUpper(TNameCase change, bool first) {
    return change == TNameCase::Upper || (change == TNameCase::Sentence && first);
}

}  // namespace

std::string ChangeNameCase(std::string_view name, TNameCase change) {
    std::string out;
    out.reserve(name.size());
    if (!IsValidUtf8(name)) {
        for (size_t i = 0; i < name.size(); ++i) {
            const auto b = static_cast<unsigned char>(name[i]);
            out += static_cast<char>(ToUpper(change, i == 0) ? Cp1252Upper(b) : Cp1252Lower(b));
        }
        return out;
    }
    const TUtf8CaseLocale& locale = CaseLocale();
    size_t i = 0;
    bool first = true;
    while (i < name.size()) {
        char32_t cp = 0;
        DecodeUtf8(name, i, cp);
        AppendUtf8(out, ToUpper(change, first) ? locale.Upper(cp) : locale.Lower(cp));
        first = false;
    }
    return out;
}

}  // namespace tarnwick::session
