#include "dialogs/ChModForm.h"

#include <cctype>

namespace tarnwick::dialogs {

namespace {

constexpr int kRead = 4;
constexpr int kWrite = 2;
constexpr int kExecute = 1;
constexpr int kBits[3] = {kRead, kWrite, kExecute};
constexpr int kGroups = 3;
constexpr int kHundreds = 100;
constexpr int kTens = 10;
constexpr char kBackspace = 8;
constexpr char kLastControl = 31;

// The three digits of one group from positions `first`..first+2 (1-based) of the text.
int GroupDigit(std::string_view s, size_t first) {
    int digit = 0;
    const char letters[3] = {'r', 'w', 'x'};
    for (size_t k = 0; k < 3; ++k) {
        const size_t pos = first + k;  // 1-based
        if (s.size() >= pos && s[pos - 1] == letters[k]) digit += kBits[k];
    }
    return digit;
}

// A text of one to three octal digits, as the number its digits spell in decimal.
std::optional<int> OctalDigits(std::string_view text) {
    if (text.empty() || text.size() > kChModEditLength) return std::nullopt;
    int v = 0;
    for (const char c : text) {
        if (c < '0' || c > '7') return std::nullopt;
        v = v * kTens + (c - '0');
    }
    return v;
}

}  // namespace

int PermissionNumber(std::string_view attributes) {
    std::string s(attributes.substr(0, kChModMaxAttributes));
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const int owner = GroupDigit(s, 2);
    const int group = GroupDigit(s, 5);
    const int pub = GroupDigit(s, 8);
    return owner * kHundreds + group * kTens + pub;
}

T_ChMod::T_ChMod(std::string_view attributes) {
    const int number = PermissionNumber(attributes);
    Edit1Change(number == 0 ? std::string() : std::to_string(number));
    syncing_ = true;
}

void T_ChMod::SetBox(int tag, bool checked) {
    if (tag < 1 || tag > kChModBoxes) return;
    const bool changed = boxes_[Index(tag)] != checked;
    boxes_[Index(tag)] = checked;
    // A box that changes runs its click handler, as a check box's state change does.
    if (changed && syncing_) WriteDigits();
}

void T_ChMod::cb1Click(int tag, bool checked) {
    if (tag < 1 || tag > kChModBoxes) return;
    boxes_[Index(tag)] = checked;
    if (syncing_) WriteDigits();
}

void T_ChMod::WriteDigits() {
    std::string text;
    for (int g = 0; g < kGroups; ++g) {
        int digit = 0;
        for (int k = 0; k < 3; ++k)
            if (boxes_[static_cast<size_t>(g * 3 + k)]) digit += kBits[k];
        text += static_cast<char>('0' + digit);
    }
    // The edit box's change handler is detached while the boxes write it.
    editChangeAttached_ = false;
    Edit1Change(std::move(text));
    editChangeAttached_ = true;
}

void T_ChMod::Edit1Change(std::string text) {
    if (text.size() > kChModEditLength) text.resize(kChModEditLength);
    edit_ = std::move(text);
    if (!editChangeAttached_) return;
    syncing_ = false;
    if (edit_.empty()) {
        boxes_.fill(false);
    } else if (const std::optional<int> v = OctalDigits(edit_)) {
        const int digits[3] = {*v / kHundreds, (*v % kHundreds) / kTens, *v % kTens};
        for (int g = 0; g < kGroups; ++g)
            for (int k = 0; k < 3; ++k)
                boxes_[static_cast<size_t>(g * 3 + k)] = (digits[g] & kBits[k]) != 0;
    }
    syncing_ = true;
}

char T_ChMod::Edit1KeyPress(char key) {
    if (key > kLastControl && (key < '0' || key > '7')) return kBackspace;
    return key;
}

void T_ChMod::SpeedButton3Click(int column) {
    if (column < 1 || column > kGroups) return;
    int& tag = columnTags_[Index3(column)];
    const bool set = tag > 0;
    for (int g = 0; g < kGroups; ++g) SetBox(g * 3 + column, set);
    tag = -tag;
}

void T_ChMod::SpeedButton6Click(int row) {
    if (row < 1 || row > kGroups) return;
    int& tag = rowTags_[Index3(row)];
    const bool set = tag > 0;
    for (int k = 1; k <= 3; ++k) SetBox((row - 1) * 3 + k, set);
    tag = -tag;
}

std::optional<int> T_ChMod::Result() const {
    if (modalResult_ != kChModOk) return std::nullopt;
    return OctalDigits(edit_);
}

}  // namespace tarnwick::dialogs
