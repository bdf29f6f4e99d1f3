// The format-text engine: parses a format text item by item and edits the values into
// records. Pure: no output happens here.
//
// Rounding of printed digits: every real is edited from the exact binary value of the
// double, and a last digit that lies exactly halfway is rounded to even, which is what
// classic run-times and the C library's printf do. std::to_chars gives exactly that.
#include "report/format_text.h"

#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace ftir::report {
namespace {

std::string asterisks(int width) { return std::string(static_cast<std::size_t>(width), '*'); }

std::string right_justify(const std::string& text, int width) {
  if (static_cast<int>(text.size()) > width) return asterisks(width);
  return std::string(static_cast<std::size_t>(width) - text.size(), ' ') + text;
}

// Infinity and NaN are edited the way classic run-times do, right-justified.
std::string edit_non_finite(double value, int width) {
  std::string text;
  if (std::isnan(value)) {
    text = "NaN";
  } else {
    text = width >= 9 ? "Infinity" : "Inf";
    if (value < 0) text = "-" + text;
  }
  return right_justify(text, width);
}

int parse_number(std::string_view format, std::size_t& pos) {
  int value = 0;
  bool any = false;
  while (pos < format.size() && format[pos] >= '0' && format[pos] <= '9') {
    value = value * 10 + (format[pos] - '0');
    assert(value < 100000 && "format width out of range");
    ++pos;
    any = true;
  }
  return any ? value : -1;
}

class RecordBuilder {
 public:
  RecordBuilder(std::span<const FormatValue> values) : values_(values) { records_.emplace_back(); }

  bool has_value() const { return next_ < values_.size(); }
  const FormatValue& take() { return values_[next_++]; }
  void append(std::string_view text) { records_.back() += text; }
  void end_record() { records_.emplace_back(); }
  std::vector<std::string> finish() { return std::move(records_); }

 private:
  std::span<const FormatValue> values_;
  std::size_t next_ = 0;
  std::vector<std::string> records_;
};

// Applies one data edit descriptor (I, F, E, D, A) to the next value. Returns false when
// the values are exhausted, which ends the records there.
bool apply_edit(RecordBuilder& out, char letter, int width, int decimals) {
  if (!out.has_value()) return false;
  const FormatValue& value = out.take();
  switch (letter) {
    case 'I':
      assert(value.kind() == FormatValue::Kind::kInteger);
      out.append(edit_integer(value.integer(), width));
      break;
    case 'F':
      assert(value.kind() == FormatValue::Kind::kReal);
      out.append(edit_fixed(value.real(), width, decimals));
      break;
    case 'E':
    case 'D':
      assert(value.kind() == FormatValue::Kind::kReal);
      out.append(edit_exponent(value.real(), width, decimals, letter));
      break;
    case 'A': {
      assert(value.kind() == FormatValue::Kind::kText);
      std::string_view text = value.text();
      if (width < 0) {
        out.append(text);  // the full declared length, trailing blanks included
      } else if (static_cast<int>(text.size()) >= width) {
        out.append(text.substr(0, static_cast<std::size_t>(width)));
      } else {
        out.append(std::string(static_cast<std::size_t>(width) - text.size(), ' '));
        out.append(text);
      }
      break;
    }
    default:
      assert(false && "unknown edit descriptor");
  }
  return true;
}

}  // namespace

std::string edit_integer(int value, int width) {
  char buffer[16];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  assert(ec == std::errc());
  return right_justify(std::string(buffer, end), width);
}

std::string edit_fixed(double value, int width, int decimals) {
  if (!std::isfinite(value)) return edit_non_finite(value, width);
  char buffer[400];
  auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  if (ec != std::errc()) return asterisks(width);
  std::string text(buffer, end);
  if (decimals == 0) text += '.';
  // No digit before the decimal point when the rounded magnitude is below 1; a negative
  // value (-0.0 included) keeps its sign even when it rounds to zero.
  const bool negative = std::signbit(value);
  std::size_t digits_start = negative ? 1 : 0;
  if (text.compare(digits_start, 2, "0.") == 0 && text.size() > digits_start + 2) {
    text.erase(digits_start, 1);
  }
  if (negative && text[0] != '-') text.insert(text.begin(), '-');
  return right_justify(text, width);
}

std::string edit_exponent(double value, int width, int digits, char letter) {
  if (!std::isfinite(value)) return edit_non_finite(value, width);
  assert(digits >= 1);
  std::string mantissa;
  int exponent = 0;
  if (value == 0.0) {
    mantissa.assign(static_cast<std::size_t>(digits), '0');
  } else {
    // d significant digits: the scientific form d.ddd e x is the same rounding of the
    // exact value, then read as .dddd times ten to x + 1.
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                   std::chars_format::scientific, digits - 1);
    assert(ec == std::errc());
    std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
    std::size_t e_pos = text.find('e');
    for (char c : text.substr(0, e_pos)) {
      if (c != '.') mantissa += c;
    }
    exponent = std::atoi(std::string(text.substr(e_pos + 1)).c_str()) + 1;
  }
  std::string text = std::signbit(value) ? "-." : ".";
  text += mantissa;
  const int magnitude = std::abs(exponent);
  const char sign = exponent < 0 ? '-' : '+';
  char exp_digits[8];
  if (magnitude <= 99) {
    text += letter;
    text += sign;
    exp_digits[0] = static_cast<char>('0' + magnitude / 10);
    exp_digits[1] = static_cast<char>('0' + magnitude % 10);
    text.append(exp_digits, 2);
  } else {
    // Outside -99..+99 the letter gives way to a third exponent digit.
    text += sign;
    exp_digits[0] = static_cast<char>('0' + magnitude / 100);
    exp_digits[1] = static_cast<char>('0' + magnitude / 10 % 10);
    exp_digits[2] = static_cast<char>('0' + magnitude % 10);
    text.append(exp_digits, 3);
  }
  return right_justify(text, width);
}

std::vector<std::string> format_records(std::string_view format, FormatValues values) {
  return format_records(format, std::span<const FormatValue>(values.begin(), values.size()));
}

std::vector<std::string> format_records(std::string_view format,
                                        std::span<const FormatValue> values) {
  assert(format.size() >= 2 && format.front() == '(' && format.back() == ')');
  RecordBuilder out(values);
  std::size_t pos = 1;
  const std::size_t end = format.size() - 1;
  while (pos < end) {
    char c = format[pos];
    if (c == ',' || c == ' ') {
      ++pos;
    } else if (c == '/') {
      out.end_record();
      ++pos;
    } else if (c == '\'') {
      // A quoted text; a doubled quote inside stands for one quote.
      std::string text;
      ++pos;
      while (pos < end) {
        if (format[pos] == '\'') {
          if (pos + 1 < end && format[pos + 1] == '\'') {
            text += '\'';
            pos += 2;
            continue;
          }
          break;
        }
        text += format[pos++];
      }
      assert(pos < end && "unterminated quoted text");
      ++pos;
      out.append(text);
    } else {
      int repeat = parse_number(format, pos);
      assert(pos < end);
      char letter = format[pos++];
      if (letter == 'X' || letter == 'x') {
        out.append(std::string(static_cast<std::size_t>(repeat < 0 ? 1 : repeat), ' '));
        continue;
      }
      int width = parse_number(format, pos);
      int decimals = 0;
      if (pos < end && format[pos] == '.') {
        ++pos;
        decimals = parse_number(format, pos);
      }
      assert((letter == 'A' || width > 0) && "edit descriptor without width");
      for (int r = 0; r < (repeat < 0 ? 1 : repeat); ++r) {
        if (!apply_edit(out, letter, width, decimals)) return out.finish();
      }
    }
  }
  return out.finish();
}

std::string padded(std::string_view text, std::size_t width) {
  std::string out(text);
  if (out.size() < width) out.resize(width, ' ');
  return out;
}

std::string shortest_text(double value) {
  char buffer[32];
  return {buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr};
}

std::string rounded_up_text(double value, int digits) {
  if (!(value > 0.0) || !std::isfinite(value)) return shortest_text(value);
  const double scale = std::pow(10.0, std::floor(std::log10(value)) - (digits - 1));
  char buffer[32];
  return {buffer, std::to_chars(buffer, buffer + sizeof buffer, std::ceil(value / scale) * scale,
                                std::chars_format::general, digits)
                      .ptr};
}

}  // namespace ftir::report
