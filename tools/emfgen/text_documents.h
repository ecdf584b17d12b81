// The sample documents of text: a letter in several faces and sizes with a
// turned line, a table, and a page of Japanese text, as a word processor
// records them (fonts made and selected, runs with their spacing arrays).
#pragma once

#include <vector>

#include "win/types.h"

namespace emfgen {

std::vector<BYTE> TextLetter();
std::vector<BYTE> TextTable();
std::vector<BYTE> TextJapanese();

} // namespace emfgen
