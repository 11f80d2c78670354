#include "catalogue/CellValue.h"

#include <cstdio>
#include <vector>

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

namespace {

// The short date format as pieces: a field and its width, or a literal character.
struct TDatePiece {
    char Field;  // 'd', 'M', 'y', or 0 for the literal
    int Width;
    char Literal;
};

std::vector<TDatePiece>& DateFormat() {
    static std::vector<TDatePiece> pieces;  // empty: the built-in dd.MM.yyyy
    return pieces;
}

std::string FormattedDate(const TDateParts& p, const std::vector<TDatePiece>& pieces) {
    std::string out;
    for (const TDatePiece& piece : pieces) {
        if (!piece.Field) {
            out += piece.Literal;
            continue;
        }
        int value = piece.Field == 'd' ? p.Day : piece.Field == 'M' ? p.Month : p.Year;
        if (piece.Field == 'y' && piece.Width == 2) value %= 100;
        char text[16];
        std::snprintf(text, sizeof text, "%0*d", piece.Width == 1 ? 1 : piece.Width, value);
        out += text;
    }
    return out;
}

}  // namespace

bool SetShortDateFormat(const std::string& pattern) {
    std::vector<TDatePiece> pieces;
    bool day = false, month = false, year = false;
    for (size_t i = 0; i < pattern.size();) {
        const char c = pattern[i];
        if (c == 'd' || c == 'M' || c == 'y') {
            size_t n = 1;
            while (i + n < pattern.size() && pattern[i + n] == c)
                ++n;
            const bool fits = c == 'y' ? (n == 2 || n == 4) : n <= 2;
            if (!fits) return false;  // names of months or days
            pieces.push_back({c, static_cast<int>(n), 0});
            (c == 'd' ? day : c == 'M' ? month : year) = true;
            i += n;
        } else if (c == '.' || c == '/' || c == '-' || c == ' ' || c == ',') {
            pieces.push_back({0, 0, c});
            ++i;
        } else {
            return false;
        }
    }
    if (!day || !month || !year) return false;
    const bool builtIn = pattern == "dd.MM.yyyy";
    DateFormat() = builtIn ? std::vector<TDatePiece>() : std::move(pieces);
    return true;
}

std::string ShortDateText(TDateTime date) {
    const TDateParts p = DecodeDateTime(date < 0 ? 0 : date);
    if (!DateFormat().empty()) return FormattedDate(p, DateFormat());
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
    std::snprintf(text, sizeof text, " %02d:%02d:%02d", p.Hour, p.Minute, p.Second);
    return ShortDateText(date) + text;
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
