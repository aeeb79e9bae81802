// The SCPI pieces the simulated instrument parses with: the error queue's codes and texts,
// header mnemonics in long or short form and any case, and the parameter types (strings,
// numbers with unit suffixes, booleans, keyword choices, blocks).
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/message_reader.hpp"

namespace kelvane::simulator {

// A command that cannot be carried out: the SCPI error code to queue.
struct ScpiError {
  int code;
};

[[noreturn]] void raise(int code);

// "File name not found" for -256; "No error" for 0.
std::string_view errorText(int code);
// The error queue's entry for `code`: -256,"File name not found"; +0,"No error" for 0.
std::string errorEntry(int code);

// `pattern` is a mnemonic with its short form in capitals ("FREQuency", "IQATtenuation");
// `received` matches it in the short or the long form, in any case: FREQ, freq, Frequency.
bool mnemonicMatches(std::string_view pattern, std::string_view received);

// A command header such as "[SOURce]:POWer:[LEVel]:[IMMediate]:[AMPLitude]": nodes separated
// by ':', optional ones in brackets, alternatives separated by '|' ("[CW|FIXed]").
class HeaderPattern {
 public:
  explicit HeaderPattern(std::string_view pattern);
  bool matches(std::span<const std::string> nodes) const;

 private:
  struct Node {
    bool optional = false;
    std::vector<std::string> alternatives;
  };
  std::vector<Node> nodes_;
  bool matchFrom(std::size_t p, std::span<const std::string> nodes, std::size_t r) const;
};

struct Param {
  enum class Kind { Data, String, Block };
  Kind kind = Kind::Data;
  std::string text;        // Data: the trimmed text; String: the content, quotes removed
  Block* block = nullptr;  // Block: the message's block
};

// Splits a parameter list at commas outside quotes. `blocks` are the message's blocks whose
// headers lie in `text`, in order; `textBase` is the offset of `text` in the message text.
// Throws ScpiError -102 for an unterminated string or text after a closing quote, -109 for an
// empty parameter between commas.
// Calls `piece(start, end)` for each stretch of `text` between `separator` characters that
// stand outside single or double quotes (the last stretch runs to the end).
void forEachUnquotedPiece(std::string_view text, char separator,
                          const std::function<void(std::size_t start, std::size_t end)>& piece);

std::vector<Param> splitParams(std::string_view text, std::size_t textBase,
                               std::span<Block> blocks);

enum class Unit { None, Hertz, DbMilliwatt, Decibel, Percent };

// A decimal number with an optional unit suffix of `unit` ("1955000000Hz", "2.1MHz", "-30dbm",
// " 95"); -104 when the parameter is not a number, -131 for a wrong suffix.
double numberValue(const Param& p, Unit unit);
// ON, OFF, or a number (non-zero is on); -224 otherwise.
bool booleanValue(const Param& p);
// True when the parameter is the keyword `pattern` (short or long form, any case).
bool isKeyword(const Param& p, std::string_view pattern);
// Writes a number the way query replies give it: integers plainly (1955000000, -30), others in
// shortest general form (2.5, 95.25).
std::string formatNumber(double x);

}  // namespace kelvane::simulator
