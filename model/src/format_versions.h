// The model data format versions the reader tells apart (the u16 at offset 22
// of the file; kFirstFormat and kLastFormat in model_file.h bound them): each
// is the first version with the change its line names, "installables 2" for
// the first version that answers that layout. Every version test of the
// library compares with one of these, so a layout change is looked up once.
#pragma once

namespace model {

// Where a version changes how entries are walked, the entry rules (entries,
// model_file) test it; where it adds an answer layout, the decoders do.
inline constexpr unsigned kFormat262 = 262; // quality entries of 9 slots, with their size words
inline constexpr unsigned kFormat264 = 264; // limits entries of 24 fixed slots; more feeder words
inline constexpr unsigned kFormat265 = 265; // paper, limits, media and tray entries grow slots
inline constexpr unsigned kFormat267 = 267; // paper pair lists; code 25's list; installables 2
inline constexpr unsigned kFormat268 = 268; // media entries with two names
inline constexpr unsigned kFormat269 = 269; // halftone entries of 12 bytes (their slot 2)
inline constexpr unsigned kFormat270 = 270; // quality entries of 10 slots (this version only)
inline constexpr unsigned kFormat272 = 272; // paper and limits entries with two names
inline constexpr unsigned kFormat273 = 273; // code 25 entries of 84 bytes; installables 3
inline constexpr unsigned kFormat274 = 274; // halftone entries of 16 bytes; halftones 4
inline constexpr unsigned kFormat275 = 275; // code 53 as a list
inline constexpr unsigned kFormat276 = 276; // quality entries of 13 slots; qualities 5
inline constexpr unsigned kFormat278 = 278; // code 71 as two lists
inline constexpr unsigned kFormat280 = 280; // halftone entries of 20 bytes; halftones 5
inline constexpr unsigned kFormat281 = 281; // code 51 as a list
inline constexpr unsigned kFormat282 = 282; // counted option lists; installables 4, fonts 3,
                                            // qualities 6
inline constexpr unsigned kFormat283 = 283; // finisher entries with a fixed part and item lists
inline constexpr unsigned kFormat284 = 284; // finisher names; staple and fold lists grow
inline constexpr unsigned kFormat285 = 285; // bins and staple items of 11 fixed slots
inline constexpr unsigned kFormat287 = 287; // punch items of 7 slots
inline constexpr unsigned kFormat288 = 288; // code 39 entries of 168 bytes; a limits slot; fonts 4
inline constexpr unsigned kFormat289 = 289; // punch items of 8 slots; five staple values
inline constexpr unsigned kFormat290 = 290; // three link slots behind the entries
inline constexpr unsigned kFormat291 = 291; // sixteen more tray slots
inline constexpr unsigned kFormat293 = 293; // finisher item texts and wider fixed parts; tray units
inline constexpr unsigned kFormat297 = 297; // fold items with a second text
inline constexpr unsigned kFormat298 = 298; // code 25 entries of 88 bytes; installables 5
inline constexpr unsigned kFormat299 = 299; // feeder entries of 8 fixed slots; bins of 25
inline constexpr unsigned kFormat300 = 300; // halftone records from record + 12; halftones 6
inline constexpr unsigned kFormat301 = 301; // code 14's second string; code 65 as a list

} // namespace model
