// The date library qorDate: the source database's day numbers as calendar
// days. README.md describes the encoding.
#pragma once

#include <cstdint>

extern "C" {

// Day 1 is 1 January 1900; each further day counts one. Writes the year,
// month and day of value and returns 0; returns 1 for a value that is no
// day of the years 1900 to 9999 and 2 for a null output, writing nothing.
int getDateFromLong(int32_t value, int16_t* year, int16_t* month, int16_t* day);
}
