// Update packages holding the stand-in update utility (mervane.exe, built
// next to vorpkg.exe), and what the stand-in recorded.
#ifndef VORPKG_TESTS_PACKAGE_H
#define VORPKG_TESTS_PACKAGE_H

#include <string>
#include <vector>

std::string MervaneExe();

// Empties dir (a folder or a drive root such as CdDir()) and fills it with a
// package: mervane.exe, zorvad.sys, zorvad.inf, version.id and, unless empty,
// mervane.scenario with the given text (for example "first driver\nrerun
// clean\n"; the entries are described at the top of tools/mervane.cpp).
void MakePackage(const std::string& dir, const std::string& scenario);

// The stand-in's trace in dir (mervane.trace): one command line a run, in
// order, refused ones prefixed "REFUSED: ". Empty when there is none.
std::vector<std::string> ReadTrace(const std::string& dir);

#endif
