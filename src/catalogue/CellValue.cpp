#include "catalogue/CellValue.h"

#include <cstdio>

#include "common/Error.h"
#include "common/TextUtils.h"

TCellValue TCellValue::OfText(std::string text, uint8_t kind) {
    TCellValue v;
    v.Kind = kind;
    v.Text = std::move(text);
    return v;
}

TCellValue TCellValue::OfNumber(int64_t number, uint8_t kind) {
    TCellValue v;
    v.Kind = kind;
    v.Number = number;
    return v;
}

TCellValue TCellValue::OfDate(TDateTime date, bool present, uint8_t kind) {
    TCellValue v;
    v.Kind = kind;
    v.HasDate = present;
    v.Date = present ? date : 0;
    return v;
}

std::string ShortDateText(TDateTime date) {
    const TDateParts p = DecodeDateTime(date < 0 ? 0 : date);
    if (p.Year < 0 || p.Year > 9999 || p.Day < 0 || p.Month < 0) {
        char text[32];
        std::snprintf(text, sizeof text, "%02d.%02d.%04d", p.Day, p.Month, p.Year);
        return text;
    }
    // "dd.mm.yyyy" by hand: filters format a date per book, a formatter call each is too dear.
    const auto digit = [](int value) { return static_cast<char>('0' + value % 10); };
    return {digit(p.Day / 10),    digit(p.Day),        '.',
            digit(p.Month / 10),  digit(p.Month),      '.',
            digit(p.Year / 1000), digit(p.Year / 100), digit(p.Year / 10),
            digit(p.Year)};
}

std::string ShortDateTimeText(TDateTime date) {
    const TDateParts p = DecodeDateTime(date < 0 ? 0 : date);
    char text[48];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d %02d:%02d:%02d", p.Day, p.Month, p.Year, p.Hour, p.Minute,
                  p.Second);
    return text;
}

std::string CellText(const TCellValue& v) {
    switch (v.Kind) {
        case kValueText:
        case kValueGroupText:
            return v.Text;
        case kValueInteger:
            return std::to_string(v.Number);
        case kValueOptional:
        case kValueOptionalAlt:
            return v.Number < 0 ? std::string() : std::to_string(v.Number);
        case kValueFlag:
            return v.Number ? "TRUE" : "";
        case kValueDate:
            return v.HasDate ? ShortDateText(v.Date) : std::string();
        case kValueDateTime:
            return v.HasDate ? ShortDateTimeText(v.Date) : std::string();
        case kValueThousandths: {
            // Truncated, not rounded: 12345 is 12.3.
            const int64_t n = v.Number < 0 ? -v.Number : v.Number;
            return (v.Number < 0 ? "-" : "") + std::to_string(n / 1000) + "." + std::to_string(n % 1000 / 100);
        }
        case kValueUnsigned: {
            char text[16];
            std::snprintf(text, sizeof text, "$%08X", static_cast<unsigned>(static_cast<uint32_t>(v.Number)));
            return text;
        }
        default:
            return "???????????";
    }
}

namespace {

int Sign(int64_t d) {
    return d < 0 ? -1 : d > 0 ? 1 : 0;
}

int CompareDates(const TCellValue& a, const TCellValue& b) {
    if (a.HasDate != b.HasDate) return a.HasDate ? 1 : -1;  // no date first
    if (!a.HasDate || a.Date == b.Date) return 0;
    return a.Date < b.Date ? -1 : 1;
}

}  // namespace

int CompareCells(const TCellValue& a, const TCellValue& b, bool caseless) {
    switch (b.Kind) {
        case kValueText:
        case kValueGroupText: {
            const int c = caseless ? AnsiCompareText(a.Text, b.Text) : a.Text.compare(b.Text);
            return Sign(c);
        }
        case kValueInteger:
        case kValueOptional:
        case kValueOptionalAlt:
        case kValueThousandths:
            return Sign(a.Number - b.Number);
        case kValueFlag:
            return Sign((b.Number != 0) - (a.Number != 0));
        case kValueDate:
        case kValueDateTime:
            return CompareDates(a, b);
        case kValueUnsigned:
            return Sign(static_cast<int64_t>(static_cast<uint32_t>(a.Number)) -
                        static_cast<int64_t>(static_cast<uint32_t>(b.Number)));
        default:
            RaiseFixedError("UNIMPLEMENTED YET!!!");
    }
}
