#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "data/model/ResultData.h"

namespace kurvex {

// The rows at which a sweep stored as one long column starts again: 0, and
// every later row whose X equals the first row's X (a transient restarts at
// its start time, an AC or DC sweep at its first value).
std::vector<std::int32_t> RunStarts(const CResultData& data);

// Cuts the rows of `data` at `starts` (ascending, the first 0) into runs of
// one new data set that replaces `data`; `names` name them (missing names
// stay empty). Nothing changes for a single start. False when out of memory,
// `data` then unchanged.
bool SplitIntoRuns(CResultDataRef& data, const std::vector<std::int32_t>& starts,
                   const std::vector<std::string>& names);

// A data set of its own holding a copy of run k of `data` (its name kept);
// false when there is no run k or no memory.
bool CopyRun(const CResultData& data, std::int32_t k, CResultDataRef& out);

// The step of every ".step" line of an LTspice log, in order ("vin=1 r1=1000"
// for ".step vin=1 r1=1000"). The log may be UTF-16 (with or without a
// byte-order mark) or 8-bit text.
std::vector<std::string> LogStepNames(std::string_view log);

// The log LTspice writes beside a raw file: the same stem with ".log" in any
// case; empty when there is none.
std::string StepLogPath(const std::string& rawPath);

// Names for the `count` runs of the stepped plot of the raw file at
// `rawPath`: the steps of its log when the log names as many, else "Run 1",
// "Run 2", ...; `note` (when given) gets a status line when a log disagrees.
std::vector<std::string> StepRunNames(const std::string& rawPath, std::size_t count,
                                      std::string* note = nullptr);

// Where run `number` (from 1) of a result written run by run goes: `path`
// with "-K" before its extension (out.csv: out-2.csv).
std::string RunFilePath(const std::string& path, std::int32_t number);

// Variable `name` of `run` (ignoring ASCII case), or -1 when the run lacks it.
std::int32_t RunVariable(const CResultData& run, const std::string& name);

// Names for files opened as runs of one view: their file titles, with as many
// of their folders in front as make the names unique ("1/out", "2/out").
std::vector<std::string> RunNamesForFiles(const std::vector<std::string>& paths);

}  // namespace kurvex
