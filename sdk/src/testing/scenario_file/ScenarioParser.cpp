// The scenario file's grammar (documented in sdk/SCENARIO.md): one command per line, an
// optional "at SECONDS" in front of any command but `device` and `default`.
#include <cstdint>
#include <limits>
#include <sstream>

#include "scenario_file/LineTokens.h"
#include "scenario_file/ScenarioCommand.h"

namespace CamSdk {
namespace detail {
namespace {

using Verb = ScenarioCommand::Verb;

bool allDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::int32_t parseCount(const std::string& word, const char* what) {
  if (!allDigits(word) || word.size() > 10) {
    throw LineError{std::string("bad ") + what + " '" + word + "'"};
  }
  const long long value = std::stoll(word);
  if (value > std::numeric_limits<std::int32_t>::max()) {
    throw LineError{std::string("bad ") + what + " '" + word + "'"};
  }
  return static_cast<std::int32_t>(value);
}

// Seconds as digits with an optional fraction of up to nine digits, converted exactly.
std::chrono::nanoseconds parseSeconds(const std::string& word) {
  const std::size_t dot = word.find('.');
  const std::string whole = word.substr(0, dot);
  const std::string fraction = dot == std::string::npos ? "" : word.substr(dot + 1);
  const bool wellFormed =
      allDigits(whole) && whole.size() <= 9 &&
      (dot == std::string::npos || (allDigits(fraction) && fraction.size() <= 9));
  if (!wellFormed) throw LineError{"bad time '" + word + "' (seconds, such as 2 or 3.5)"};
  std::int64_t nanos = std::stoll(whole) * 1000000000LL;
  std::int64_t scale = 100000000LL;
  for (char c : fraction) {
    nanos += (c - '0') * scale;
    scale /= 10;
  }
  return std::chrono::nanoseconds(nanos);
}

NodeKind parseKind(const std::string& word) {
  if (word == "depth") return NodeKind::Depth;
  if (word == "color") return NodeKind::Color;
  if (word == "audio") return NodeKind::Audio;
  throw LineError{"unknown node kind '" + word + "' (depth, color or audio)"};
}

void parseDevice(TokenCursor& cursor, ScenarioCommand& command) {
  command.name = cursor.word("device name");
  command.kinds.push_back(parseKind(cursor.word("node kind")));
  while (!cursor.atEnd()) command.kinds.push_back(parseKind(cursor.word("node kind")));
}

void parseDefault(TokenCursor& cursor, ScenarioCommand& command) {
  command.name = cursor.word("node name");
  while (!cursor.atEnd()) {
    std::optional<std::int32_t>* setting = nullptr;
    const char* what = nullptr;
    if (cursor.accept("format")) {
      setting = &command.format;
      what = "frame format";
    } else if (cursor.accept("rate")) {
      setting = &command.rate;
      what = "rate";
    } else if (cursor.accept("channels")) {
      setting = &command.channels;
      what = "channel count";
    } else {
      cursor.expected("setting (format, rate or channels)");
    }
    if (setting->has_value()) throw LineError{std::string(what) + " given twice"};
    *setting = parseCount(cursor.word(what), what);
  }
  if (!command.format && !command.rate && !command.channels) {
    throw LineError{"missing setting (format, rate or channels)"};
  }
  if (command.format && command.channels) {
    throw LineError{
        "format and channels do not go together (format: depth and colour nodes, "
        "channels: audio nodes)"};
  }
  if (command.format) {
    std::int32_t w = 0;
    std::int32_t h = 0;
    FrameFormat_toResolution(static_cast<FrameFormat>(*command.format), &w, &h);
    if (w <= 0 || h <= 0) {
      throw LineError{"unknown frame format " + std::to_string(*command.format)};
    }
  }
  if (command.rate && *command.rate < 1) throw LineError{"rate must be at least 1"};
  if (command.channels && *command.channels < 1) {
    throw LineError{"channel count must be at least 1"};
  }
}

void parsePlugging(TokenCursor& cursor, ScenarioCommand& command) {
  if (cursor.accept("device")) {
    command.namesDevice = true;
  } else if (!cursor.accept("node")) {
    cursor.expected("'node' or 'device'");
  }
  command.name = cursor.word(command.namesDevice ? "device name" : "node name");
}

void parseFail(TokenCursor& cursor, ScenarioCommand& command) {
  const std::string operation = cursor.word("operation");
  if (!testing::operationFromName(operation, &command.operation)) {
    throw LineError{"unknown operation '" + operation + "'"};
  }
  const std::string exception = cursor.word("exception");
  if (!testing::exceptionKindFromName(exception, &command.exception)) {
    throw LineError{"unknown exception '" + exception + "'"};
  }
  command.text = "injected fault";
  bool timesGiven = false;
  bool textGiven = false;
  while (!cursor.atEnd()) {
    if (!timesGiven && cursor.accept("times")) {
      command.times = parseCount(cursor.word("count"), "count");
      if (command.times < 1) throw LineError{"count must be at least 1"};
      timesGiven = true;
    } else if (!timesGiven && cursor.accept("always")) {
      command.times = -1;
      timesGiven = true;
    } else if (!textGiven && cursor.nextIsText()) {
      command.text = cursor.text("message");
      textGiven = true;
    } else {
      cursor.expectEnd();
    }
  }
}

void parseControl(TokenCursor& cursor, ScenarioCommand& command) {
  command.name = cursor.word("node name");
  if (!cursor.accept("held-by")) cursor.expected("'held-by'");
  command.text = cursor.text("client name");
}

void parseService(TokenCursor& cursor, ScenarioCommand& command) {
  if (!cursor.accept("down")) cursor.expected("'down'");
  command.text = "no camera service answers at localhost";
  if (cursor.nextIsText()) command.text = cursor.text("message");
}

void parseRecording(TokenCursor& cursor, ScenarioCommand& command) {
  command.name = cursor.word("device name");
  command.text = cursor.nextIsText() ? cursor.text("file") : cursor.word("file");
  command.loop = cursor.accept("loop");
}

ScenarioCommand parseLine(const std::string& line, int lineNumber, bool* empty) {
  TokenCursor cursor(tokenizeLine(line));
  ScenarioCommand command;
  command.line = lineNumber;
  *empty = cursor.atEnd();
  if (*empty) return command;
  if (cursor.accept("at")) command.at = parseSeconds(cursor.word("time"));

  const std::string verb = cursor.word("command");
  if (verb == "device") {
    if (command.at) {
      throw LineError{"'at' cannot be used with device (unplug it, then plug it at a time)"};
    }
    command.verb = Verb::AddDevice;
    parseDevice(cursor, command);
  } else if (verb == "default") {
    // A default only matters before a client configures the node, so it is set up front.
    if (command.at) throw LineError{"'at' cannot be used with default"};
    command.verb = Verb::SetDefault;
    parseDefault(cursor, command);
  } else if (verb == "unplug" || verb == "plug") {
    command.verb = verb == "plug" ? Verb::Plug : Verb::Unplug;
    parsePlugging(cursor, command);
  } else if (verb == "fail") {
    command.verb = Verb::Fail;
    parseFail(cursor, command);
  } else if (verb == "control") {
    command.verb = Verb::HoldControl;
    parseControl(cursor, command);
  } else if (verb == "recording") {
    command.verb = Verb::AddRecording;
    parseRecording(cursor, command);
  } else if (verb == "service") {
    command.verb = Verb::ServiceDown;
    parseService(cursor, command);
  } else {
    throw LineError{"unknown command '" + verb + "'"};
  }
  cursor.expectEnd();
  return command;
}

}  // namespace

std::vector<ScenarioCommand> parseScenario(const std::string& text) {
  std::vector<ScenarioCommand> commands;
  std::istringstream lines(text);
  std::string line;
  int lineNumber = 0;
  while (std::getline(lines, line)) {
    ++lineNumber;
    try {
      bool empty = false;
      ScenarioCommand command = parseLine(line, lineNumber, &empty);
      if (!empty) commands.push_back(std::move(command));
    } catch (const LineError& error) {
      throw ParseFailure{lineNumber, error.reason};
    }
  }
  return commands;
}

}  // namespace detail
}  // namespace CamSdk
