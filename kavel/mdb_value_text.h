// How a Jet column value reads as text in the reports: the way a Windows variant-to-text
// conversion prints it, with the regional formats of the common library. Pure functions on the
// stored bytes, so they can be checked without a database.
#ifndef KAVEL_MDB_VALUE_TEXT_H_
#define KAVEL_MDB_VALUE_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace kavel {

// Jet 4 text as stored (UCS-2 little endian, or the compressed form that starts with FF FE) as
// UTF-8. Unpaired surrogates and a dangling odd byte become U+FFFD; never fails.
std::string DecodeJet4Text(std::string_view stored);

// Shortest decimal text that reads back as the same value: "." as decimal point, no grouping;
// plain digits for decimal exponents -5 to 14, else Windows' exponent form ("1.5", "-0.25",
// "100000000000000", "1E+20", "1.25E-06").
std::string FormatDouble(double value);
std::string FormatSingle(float value);

// A currency amount given in ten-thousandths, exactly, without trailing zeros ("12.3456", "5").
std::string FormatCurrency(int64_t ten_thousandths);

// A Jet date/time serial (days since 1899-12-30; before that day the fraction still counts
// forward) in the regional format, rounded to whole seconds: the date alone when the time is
// midnight. Serials outside the years 100 to 9999 print as numbers.
std::string FormatJetDate(double serial);

// A GUID's 16 stored bytes as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
std::string FormatGuid(std::string_view bytes);

}  // namespace kavel

#endif  // KAVEL_MDB_VALUE_TEXT_H_
