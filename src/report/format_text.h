// Format texts: the classic edit-descriptor language in which every message of the
// program is written, turned into records (one record per output line).
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ftir::report {

// One value handed to a format text: an integer (I edit), a real (F, E, D edits)
// or a text (A edit, written at its full length, trailing blanks included).
class FormatValue {
 public:
  enum class Kind { kInteger, kReal, kText };
  FormatValue(int value) : kind_(Kind::kInteger), integer_(value) {}           // NOLINT
  FormatValue(double value) : kind_(Kind::kReal), real_(value) {}              // NOLINT
  FormatValue(std::string_view value) : kind_(Kind::kText), text_(value) {}    // NOLINT
  FormatValue(const char* value) : kind_(Kind::kText), text_(value) {}         // NOLINT
  FormatValue(const std::string& value) : kind_(Kind::kText), text_(value) {}  // NOLINT

  Kind kind() const { return kind_; }
  int integer() const { return integer_; }
  double real() const { return real_; }
  std::string_view text() const { return text_; }

 private:
  Kind kind_;
  int integer_ = 0;
  double real_ = 0.0;
  std::string_view text_;
};

using FormatValues = std::initializer_list<FormatValue>;

// Builds the records of `format` (for example "(1X,I10,' points read')") with `values`
// taken in order. Each record still carries its carriage-control character in front.
// A malformed format text or a value of the wrong kind is a programmer error (assert);
// values beyond those the format consumes are ignored, missing ones end the records.
std::vector<std::string> format_records(std::string_view format,
                                        std::span<const FormatValue> values);
std::vector<std::string> format_records(std::string_view format, FormatValues values = {});

// Single edits, also used on their own (the writer's "(F7.3)" resolution text).
// Each returns exactly `width` characters, or `width` asterisks when the value does not fit.
// `text` padded with blanks to `width` characters (never cut): a name as the classic
// report prints it (input names in 40 columns, output names in 50).
std::string padded(std::string_view text, std::size_t width);

// The shortest text that reads back as `value` (a number as the summaries, the saved
// red.dat and the refusals write it).
std::string shortest_text(double value);

// `value` (above 0) rounded up at its `digits`-th significant digit, as that many digits
// at most write it: a finest resolution that a refusal names is one that can be given.
std::string rounded_up_text(double value, int digits);

std::string edit_integer(int value, int width);
std::string edit_fixed(double value, int width, int decimals);
std::string edit_exponent(double value, int width, int digits, char letter);

}  // namespace ftir::report
