#pragma once

#include <cstdint>
#include <string>

#include "common/Dates.h"

// Kinds of a grid cell's value; they decide how it shows and how it sorts.
enum TValueKind : uint8_t {
    kValueNone = 0,
    kValueText = 1,
    kValueGroupText = 2,  // text heading a group: an equal text sorts by the next column's number
    kValueInteger = 3,
    kValueOptional = 4,     // integer, empty when negative (a number in a series)
    kValueOptionalAlt = 5,  // as 4
    kValueFlag = 6,         // set sorts before clear
    kValueDate = 7,         // maybe no date
    kValueDateTime = 8,
    kValueThousandths = 9,  // 12345 shows as 12.3
    kValueUnsigned = 10,    // shows as $ and 8 hex digits
};

struct TCellValue {
    uint8_t Kind = kValueNone;
    int64_t Number = 0;
    std::string Text;  // engine text
    bool HasDate = false;
    TDateTime Date = 0;

    static TCellValue OfText(std::string text, uint8_t kind = kValueText);
    static TCellValue OfNumber(int64_t number, uint8_t kind = kValueInteger);
    static TCellValue OfDate(TDateTime date, bool present, uint8_t kind = kValueDate);
};

// A date in the short date format (dd.MM.yyyy until one is set), and with " hh:nn:ss".
std::string ShortDateText(TDateTime date);
std::string ShortDateTimeText(TDateTime date);
// Sets the short date format from a pattern of d, dd, M, MM, yy and yyyy with separators between
// them (as a locale gives it: "dd.MM.yyyy", "M/d/yy", "yyyy-MM-dd"). A pattern with anything
// else (month names, days of the week) is refused and the format stays. Set once at start,
// before any thread formats dates.
bool SetShortDateFormat(const std::string& pattern);

// The text a grid shows for a value.
std::string CellText(const TCellValue& value);

// Orders two values by b's kind (negative: a first). Texts compare byte by byte, after the
// Windows-1251 lower-case map when caseless. Kinds without an order raise "UNIMPLEMENTED YET!!!".
int CompareCells(const TCellValue& a, const TCellValue& b, bool caseless);
