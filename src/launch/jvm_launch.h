// Starting the virtual machine of the loaded runtime: the option list assembled, the init
// arguments filled, the machine created on a thread whose stack follows "-Xss", and the entry
// class's main called there.
#pragma once

#include <string>
#include <vector>

namespace launch {

// Whether the run reused an earlier extraction (a language restart that found its files):
// the Java side then learns no unextracted position.
void setExtractionReused(bool reused);

// The semaphore name of the single-instance check, handed to the Java side.
void setSemaphoreName(std::string name);

// Launches with the program arguments; true when main returned without an exception.
bool launchJvm(const std::vector<std::wstring>& arguments);

}  // namespace launch
