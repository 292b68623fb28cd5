// Samples the program takes itself, one each interval: a live table of this machine, or the CSV a command
// prints.
#ifndef VEXFILT_TOOLS_VEXFILT_SOURCES_H_
#define VEXFILT_TOOLS_VEXFILT_SOURCES_H_

#include <string>
#include <string_view>

#include "live_table.h"
#include "run.h"

namespace vexfilt::cli {

struct Rhythm {
  int everyMs = 5000;  // from the start of one sample to the start of the next
  long samples = 0;    // how many; 0: until interrupted
};

// "5s", "500ms", "2m", "1h" or a number of seconds; false for anything else or a time not above 0.
bool ParseInterval(std::string_view text, int* milliseconds);

// Runs `table` (read from `root`) through `runner` at the rhythm; the sample under way when an interrupt
// comes ends first. False on an error, reported.
bool RunLiveTable(SampleRunner& runner, LiveTable& table, const LiveRoot& root, const std::string& name,
                  const Rhythm& rhythm);

// Runs `command` with /bin/sh each interval and takes what it prints, CSV with a header, as one sample.
bool RunCommand(SampleRunner& runner, const std::string& command, const Rhythm& rhythm);

// The schema of a table in the form --schema-file reads, its key columns in a comment.
std::string SchemaFileText(const std::string& name, const LiveTable& table);

}  // namespace vexfilt::cli

#endif  // VEXFILT_TOOLS_VEXFILT_SOURCES_H_
