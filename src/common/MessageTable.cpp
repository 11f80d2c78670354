#include "common/MessageTable.h"

#include <array>

#include "common/Encoding.h"
#include "common/TextUtils.h"

namespace {

struct MessageDefault {
    const char* key;
    const char* text;  // UTF-8; nullptr while the text is not known yet
};

#include "common/MessageDefaults.inc"

constexpr int kInterfaceCount = kLastInterfaceId - kFirstInterfaceId + 1;
constexpr int kErrorCount = kLastErrorId - kFirstErrorId + 1;
static_assert(sizeof(kInterfaceDefaults) / sizeof(kInterfaceDefaults[0]) == kInterfaceCount);
static_assert(sizeof(kErrorDefaults) / sizeof(kErrorDefaults[0]) == kErrorCount);

std::string DefaultText(const MessageDefault& d) {
    // A visible placeholder keeps a missing text from showing up as an empty caption.
    return d.text ? Utf8ToAnsi(d.text) : "[" + std::string(d.key) + "]";
}

struct Tables {
    std::array<TLangRec, kInterfaceCount> interface;
    std::array<TLangRec, kErrorCount> errors;

    Tables() { Reset(); }

    void Reset() {
        for (int i = 0; i < kInterfaceCount; ++i)
            interface[i] = {DefaultText(kInterfaceDefaults[i]), kInterfaceDefaults[i].key};
        for (int i = 0; i < kErrorCount; ++i)
            errors[i] = {DefaultText(kErrorDefaults[i]), kErrorDefaults[i].key};
    }

    TLangRec* Find(int id) {
        if (id >= kFirstInterfaceId && id <= kLastInterfaceId) return &interface[id - kFirstInterfaceId];
        if (id >= kFirstErrorId && id <= kLastErrorId) return &errors[id - kFirstErrorId];
        return nullptr;
    }
};

Tables& TheTables() {
    static Tables tables;
    return tables;
}

const std::string kEmpty;

}  // namespace

bool IsMessageId(int id) {
    return (id >= kFirstInterfaceId && id <= kLastInterfaceId) || (id >= kFirstErrorId && id <= kLastErrorId);
}

const std::string& MessageText(int id) {
    const TLangRec* rec = TheTables().Find(id);
    return rec ? rec->Text : kEmpty;
}

const std::string& MessageKey(int id) {
    const TLangRec* rec = TheTables().Find(id);
    return rec ? rec->Key : kEmpty;
}

void SetMessageText(int id, const std::string& text) {
    if (TLangRec* rec = TheTables().Find(id)) rec->Text = text;
}

int FindMessageByKey(const std::string& key) {
    Tables& t = TheTables();
    for (int i = 0; i < kInterfaceCount; ++i)
        if (AnsiSameText(t.interface[i].Key, key)) return kFirstInterfaceId + i;
    for (int i = 0; i < kErrorCount; ++i)
        if (AnsiSameText(t.errors[i].Key, key)) return kFirstErrorId + i;
    return 0;
}

void ResetMessageTexts() {
    TheTables().Reset();
}

std::vector<int> MessageIdsWithoutDefault() {
    std::vector<int> ids;
    for (int i = 0; i < kInterfaceCount; ++i)
        if (!kInterfaceDefaults[i].text) ids.push_back(kFirstInterfaceId + i);
    return ids;
}

std::string FormatMessageText(const std::string& format, const std::vector<std::string>& args) {
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's') {
            if (next < args.size()) out += args[next];
            ++next;
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

std::string CountMessage(int id, int64_t count) {
    std::vector<std::string> forms;
    const std::string& text = MessageText(id);
    for (size_t start = 0;;) {
        const size_t bar = text.find('|', start);
        forms.push_back(text.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    const uint64_t n = static_cast<uint64_t>(count < 0 ? -count : count);
    size_t form = 0;
    if (forms.size() >= 3) {
        const uint64_t tens = n % 100, ones = n % 10;
        form = ones == 1 && tens != 11 ? 0 : ones >= 2 && ones <= 4 && (tens < 12 || tens > 14) ? 1 : 2;
    } else if (forms.size() == 2) {
        form = n == 1 ? 0 : 1;
    }
    return FormatMessageText(forms[form], {std::to_string(count)});
}
