#pragma once
// A frei0r host gives its plug-ins no channel for messages but standard
// error, and calls them for every frame: each distinct message is written
// once per process.
#include <string>

namespace mattix::frei0r {

// Writes "mattix: <message>" and a newline to standard error. Thread-safe.
void Report(const std::string& message);

// The same, unless the same message was written before.
void ReportOnce(const std::string& message);

}  // namespace mattix::frei0r
