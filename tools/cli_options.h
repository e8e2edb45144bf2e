// The options of a tool's command line, each declared once with the place
// its value goes, and one walk over the arguments that fills them in. The
// walk prints nothing: it hands back the first argument it refused and why,
// and each tool words that as it always has.
#pragma once

#include <cstddef>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/cli_number.h"
#include "tools/console_lines.h"

namespace quorvel::tools {

// Why the walk stopped at an argument.
enum class Refused {
  kNothing,     // every argument was taken
  kUnknown,     // no option has that name, and the tool's own rule left it
  kNoValue,     // an option with a value is the last argument
  kNotANumber,  // a number option's value is missing or not a whole number
  kOutOfRange,  // a number its option's range does not allow
  kValue,       // a value the option's own reader refused
  kArgument,    // an argument the tool's own rule refused
};

// What a tool's own rule says of an argument no option names.
enum class Taken { kYes, kRefused, kUnknown };

template <typename Char>
struct Refusal {
  Refused why = Refused::kNothing;
  std::basic_string_view<Char> argument;  // the option, or the argument refused
  // The argument after it, if there is one (an option's value).
  std::optional<std::basic_string_view<Char>> value;
  std::string_view rule;  // kOutOfRange: the text the option was declared with

  explicit operator bool() const { return why != Refused::kNothing; }
};

template <typename Char>
class CommandLine {
 public:
  using View = std::basic_string_view<Char>;
  using String = std::basic_string<Char>;

  // An option without a value: `target` becomes `value`.
  CommandLine& Flag(View name, bool& target, bool value = true) {
    return Add(name, /*takes_value=*/false, Refused::kNoValue, [&target, value](View) {
      target = value;
      return Refused::kNothing;
    });
  }
  // An option whose value is kept as it is.
  CommandLine& Text(View name, String& target) {
    return Value(name, [&target](View value) {
      target = String(value);
      return true;
    });
  }
  // An option whose value the tool reads itself; `read` says whether it was
  // good.
  CommandLine& Value(View name, std::function<bool(View)> read) {
    return Add(name, /*takes_value=*/true, Refused::kNoValue, [read = std::move(read)](View value) {
      return read(value) ? Refused::kNothing : Refused::kValue;
    });
  }
  // A number, the whole value (see cli_number.h), that `allowed` accepts;
  // `rule` is handed back when it does not.
  template <typename N, typename Allowed>
  CommandLine& Number(View name, N& target, Allowed allowed, std::string_view rule = {}) {
    Add(name, /*takes_value=*/true, Refused::kNotANumber, [&target, allowed](View value) {
      if (!ParseNumber(value, target)) return Refused::kNotANumber;
      return allowed(target) ? Refused::kNothing : Refused::kOutOfRange;
    });
    options_.back().rule = rule;
    return *this;
  }
  template <typename N>
  CommandLine& Number(View name, N& target) {
    return Number(name, target, [](N) { return true; });
  }
  // Set when the option declared last is given.
  CommandLine& Seen(bool& seen) {
    options_.back().seen = &seen;
    return *this;
  }
  // The option declared last ends the walk, the arguments after it unread.
  CommandLine& EndsWalk() {
    options_.back().ends_walk = true;
    return *this;
  }
  // The tool's own rule for an argument no option names (without one, such
  // an argument is unknown).
  CommandLine& Others(std::function<Taken(View)> rule) {
    others_ = std::move(rule);
    return *this;
  }

  // From the next argument on, none is an option.
  void EndOptions() { options_open_ = false; }
  bool OptionsOpen() const { return options_open_; }

  // Walks `args` (the arguments after the program's name) once, in order.
  template <typename Args>
  Refusal<Char> Walk(const Args& args) {
    const std::size_t count = std::size(args);
    for (std::size_t i = 0; i < count; ++i) {
      const View arg = args[i];
      std::optional<View> next;
      if (i + 1 < count) next = View(args[i + 1]);
      const Option* option = options_open_ ? Find(arg) : nullptr;
      if (option == nullptr) {
        const Taken taken = others_ ? others_(arg) : Taken::kUnknown;
        if (taken == Taken::kYes) continue;
        return {taken == Taken::kRefused ? Refused::kArgument : Refused::kUnknown, arg, next, {}};
      }
      Refused why = Refused::kNothing;
      if (!option->takes_value) {
        why = option->read(View());
      } else if (!next) {
        why = option->missing;
      } else {
        ++i;
        why = option->read(*next);
      }
      if (why != Refused::kNothing) return {why, arg, next, option->rule};
      if (option->seen != nullptr) *option->seen = true;
      if (option->ends_walk) break;
    }
    return {};
  }
  // The same over main's arguments, its own name left out.
  Refusal<Char> Walk(int argc, Char** argv) {
    return Walk(std::vector<View>(argv + (argc > 0 ? 1 : 0), argv + argc));
  }

 private:
  struct Option {
    View name;
    bool takes_value = false;
    Refused missing = Refused::kNoValue;  // what a missing value is
    std::function<Refused(View)> read;
    std::string_view rule;
    bool* seen = nullptr;
    bool ends_walk = false;
  };

  CommandLine& Add(View name, bool takes_value, Refused missing,
                   std::function<Refused(View)> read) {
    options_.push_back(Option{name, takes_value, missing, std::move(read), {}, nullptr, false});
    return *this;
  }
  const Option* Find(View name) const {
    for (const Option& option : options_) {
      if (option.name == name) return &option;
    }
    return nullptr;
  }

  std::vector<Option> options_;
  std::function<Taken(View)> others_;
  bool options_open_ = true;
};

// "--x needs a number, not 'VALUE'" (an empty VALUE when there was none).
inline std::string NotANumber(std::string_view option, std::optional<std::string_view> value) {
  return std::string(option) + " needs a number, not '" + std::string(value.value_or("")) + "'";
}

// What the tools print of a number option's missing or bad value:
//   PROGRAM: --x needs a number, not 'VALUE'
// Says nothing of any other refusal.
inline void SayNotANumber(const char* program, const Refusal<char>& refusal) {
  if (refusal.why == Refused::kNotANumber)
    Fail(program, NotANumber(refusal.argument, refusal.value));
}

// "PROGRAM: unknown argument 'ARG'".
inline void SayUnknownArgument(const char* program, const Refusal<char>& refusal) {
  Fail(program, "unknown argument '" + std::string(refusal.argument) + "'");
}

// The refusal as the programs run by scripts say it: the number line if
// that is what it is, then "PROGRAM: bad argument 'ARG' (see the head of
// SOURCE)", SOURCE the file that lists the options.
inline void SayBadArgument(const char* program, const Refusal<char>& refusal,
                           std::string_view source) {
  SayNotANumber(program, refusal);
  Fail(program, "bad argument '" + std::string(refusal.argument) + "' (see the head of " +
                    std::string(source) + ")");
}

}  // namespace quorvel::tools
