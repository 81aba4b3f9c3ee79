#include "dialogs/HostTypeChoice.h"

#include "dialogs/ByteText.h"
#include "listing/TextUtil.h"
#include "settings/ServerList.h"

namespace tarnwick::dialogs {

namespace {
constexpr size_t kHostTypeNameMax = 255;
constexpr size_t kFirstColumnDigit = 1;  // position of eFName's digit in a host type string
}  // namespace

THostTypeChoice::THostTypeChoice(THostTypes types) : types_(std::move(types)) {
    // The lists pair up one to one; entry 0 is always there and always built in.
    if (types_.Names.empty()) types_.Names.emplace_back(kDefaultHostTypeName);
    types_.Answers.resize(types_.Names.size(), kDefaultHostType);
    types_.Answers[0] = kDefaultHostType;
}

std::string THostTypeChoice::SelectedName() const {
    if (selected_ < 0 || static_cast<size_t>(selected_) >= Count()) return {};
    return Name(static_cast<size_t>(selected_));
}

int THostTypeChoice::Find(std::string_view name) const {
    for (size_t i = 0; i < Count(); ++i)
        if (SameTextNoCase(types_.Names[i], name)) return static_cast<int>(i);
    return kNoEntry;
}

void THostTypeChoice::SelectAtOpening(int index) {
    selected_ = (index >= 0 && static_cast<size_t>(index) < Count()) ? index : kNoEntry;
}

void THostTypeChoice::Select(int index, char typeDigit) {
    StoreSelected(Compose(typeDigit));
    SelectAtOpening(index);
    if (selected_ != kNoEntry) ShowDigits(AnswerOf(static_cast<size_t>(selected_)));
}

void THostTypeChoice::SetDigit(TDigitBox box, std::string_view text) {
    std::string& d = digits_[Index(box)];
    d.clear();
    for (char c : text) {
        if (IsAsciiDigit(c)) {
            d = c;
            break;
        }
    }
}

void THostTypeChoice::ShowDigits(std::string_view answer) {
    for (size_t i = 0; i < kDigitBoxCount; ++i) {
        const size_t at = kFirstColumnDigit + i;
        digits_[i] = at < answer.size() ? std::string(1, answer[at]) : std::string();
    }
}

char THostTypeChoice::FilterDigitKey(char key) {
    return IsAsciiDigit(key) ? key : kBackspace;
}

std::string THostTypeChoice::Compose(char typeDigit) const {
    std::string answer(1, typeDigit);
    for (const std::string& d : digits_) answer += d.empty() ? std::string("0") : d;
    return answer;
}

void THostTypeChoice::StoreSelected(const std::string& answer) {
    // Entry 0 stays the built-in layout.
    if (Renamable()) types_.Answers[static_cast<size_t>(selected_)] = answer;
}

TInputQuery THostTypeChoice::AddQuery() const {
    TInputQuery q;
    q.Caption = kNewHostTypeCaption;
    q.Prompt = kHostTypePrompt;
    q.MaxLength = kHostTypeNameMax;
    return q;
}

void THostTypeChoice::Add(const std::optional<std::string>& name, char typeDigit) {
    if (!name || Trimmed(*name).empty()) return;
    types_.Names.push_back(*name);
    types_.Answers.emplace_back(kDefaultHostType);
    Select(static_cast<int>(Count() - 1), typeDigit);
}

TInputQuery THostTypeChoice::EditQuery() const {
    if (!Renamable()) return AddQuery();
    TInputQuery q = AddQuery();
    q.Caption = kEditHostTypeCaption;
    q.Value = Name(static_cast<size_t>(selected_));
    return q;
}

void THostTypeChoice::Edit(const std::optional<std::string>& name, char typeDigit) {
    if (!Renamable()) {
        Add(name, typeDigit);
        return;
    }
    if (!name || Trimmed(*name).empty()) return;
    types_.Names[static_cast<size_t>(selected_)] = *name;
}

void THostTypeChoice::Delete() {
    if (!Renamable()) return;
    const auto at = static_cast<std::ptrdiff_t>(selected_);
    types_.Names.erase(types_.Names.begin() + at);
    types_.Answers.erase(types_.Answers.begin() + at);
    selected_ = kNoEntry;
}

}  // namespace tarnwick::dialogs
