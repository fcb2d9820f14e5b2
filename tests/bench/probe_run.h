// Runs tests/probe/quell_probe.exe in a process of its own, under a file name
// of its own, with Wine acting as another Windows version for that name alone.
#pragma once

#include <map>
#include <string>

// The probe's answers by question; empty when it could not run.
using ProbeAnswers = std::map<std::string, std::string>;

// Copies the probe (built beside the tests; withManifest picks the variant that
// declares Windows 10 supported) to name.exe, sets Wine's version for that name
// (an empty version leaves Wine's default), runs it, and removes copy and setting.
ProbeAnswers RunProbe(const std::string &name, const std::string &wineVersion, bool withManifest = false);
