// WinFax files for the window tests, made from text-like pages coded by libtiff.
#pragma once

#include <cstdint>
#include <string>

namespace trelvane::guitest {

// A one-page Group 4 WinFax file of a text-like page; false when it cannot be written.
bool write_sample_fax(const std::string& path, uint32_t seed, int lines = 120);

}  // namespace trelvane::guitest

namespace trelvane::guitest {

// Gives the process its work-file paths and the conversion settings their start-up values,
// as the program does before any conversion; once per process, work files removed at exit.
void prepare_process_for_conversions();

}  // namespace trelvane::guitest
