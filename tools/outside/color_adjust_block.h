// The 528-byte block that the Quality page hands to the outside
// colour-adjustment library's caColorAdjust, and the call's modes. Both sides
// of the call use this one description, so its byte offsets are fixed here.
#pragma once

#include <cstddef>
#include <cstdint>

#include "win/environment.h"
#include "win/types.h"

namespace outside {

inline constexpr char kColorAdjustMagic[4] = {'V', 'E', 'L', 'M'};
inline constexpr std::uint32_t kColorAdjustBlockSize = 528;
inline constexpr std::size_t kColorAdjustValueBytes = 48;

// Flag bits of the block.
inline constexpr std::uint32_t kColorAdjustOptionFlag = 1u << 1; // ColorAdjustOption is 1
inline constexpr std::uint32_t kColorAdjustPhotoFlag = 1u << 2;  // photo colour
inline constexpr std::uint32_t kColorAdjustReadOnlyFlag = 1u
                                                          << 3; // the sheet may not change settings

// caColorAdjust's modes.
inline constexpr std::uint32_t kColorAdjustColorIcm = 1;    // colour with ICM
inline constexpr std::uint32_t kColorAdjustGrayscale = 2;   // grayscale
inline constexpr std::uint32_t kColorAdjustColorDevice = 3; // colour with device colour
// caColorAdjust's answer for an accepted adjustment.
inline constexpr int kColorAdjustAccepted = 1;

struct ColorAdjustBlock {
    char magic[4];      // "VELM"
    std::uint32_t size; // 528
    std::uint32_t reserved8;
    std::uint32_t flags;                                // kColorAdjust*Flag
    std::uint8_t values[kColorAdjustValueBytes];        // current values, in and out
    std::uint8_t defaultValues[kColorAdjustValueBytes]; // the default device mode's
    std::uint32_t icmMethod;                            // in and out
    std::uint32_t icmIntent;                            // in and out
    std::uint32_t defaultIcmMethod;
    std::uint32_t defaultIcmIntent;
    char plateFile[32]; // "Hueplate.DLL"
    char chartFile[32]; // "Huechart.BMP"
    char gaugeFile[32]; // "Huegauge.BMP"
    char helpFile[260]; // the sheet's help file, ANSI
    std::uint8_t reserved484[36];
    void* module; // the loaded colour-adjustment library
};

static_assert(sizeof(ColorAdjustBlock) == kColorAdjustBlockSize);
static_assert(offsetof(ColorAdjustBlock, size) == 4);
static_assert(offsetof(ColorAdjustBlock, flags) == 12);
static_assert(offsetof(ColorAdjustBlock, values) == 16);
static_assert(offsetof(ColorAdjustBlock, defaultValues) == 64);
static_assert(offsetof(ColorAdjustBlock, icmMethod) == 112);
static_assert(offsetof(ColorAdjustBlock, icmIntent) == 116);
static_assert(offsetof(ColorAdjustBlock, defaultIcmMethod) == 120);
static_assert(offsetof(ColorAdjustBlock, defaultIcmIntent) == 124);
static_assert(offsetof(ColorAdjustBlock, plateFile) == 128);
static_assert(offsetof(ColorAdjustBlock, chartFile) == 160);
static_assert(offsetof(ColorAdjustBlock, gaugeFile) == 192);
static_assert(offsetof(ColorAdjustBlock, helpFile) == 224);
static_assert(offsetof(ColorAdjustBlock, reserved484) == 484);
static_assert(offsetof(ColorAdjustBlock, module) == 520);

// The stand-in's dialog: its controls, for the tests that work it.
inline constexpr int kHuetunerValuesEdit = 100; // 48 numbers 0..255, by spaces
inline constexpr int kHuetunerIcmMethodEdit = 101;
inline constexpr int kHuetunerIcmIntentEdit = 102;
inline constexpr int kHuetunerInfoText = 103; // "mode M flags F"

} // namespace outside

// The library's export, declared once: the stand-in defines it against this
// declaration and the Quality page calls it through its type. `block` is a
// ColorAdjustBlock; kColorAdjustAccepted when the person accepted the change.
DLLEXPORT int WINAPI caColorAdjust(HWND owner, void* block, DWORD mode);
typedef decltype(&caColorAdjust) PFN_caColorAdjust;
