// The codec and the rotation behind Bitsqueeze's exports (bitsqueeze/exports.cpp
// puts each through the export barrier); their results are those of the exports.
#pragma once

#include "imaging/bitsqueeze.h"

namespace bitsqueeze {

int CompressBlock(T4CodecBlock* block);
int DecompressBlock(T4CodecBlock* block);
int RotateBlock(Raw2RotateBlock* block);

} // namespace bitsqueeze
