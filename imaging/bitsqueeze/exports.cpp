// Bitsqueeze's export table: callers bind COMPRESS, DECOMPRESS and RAW2ROTATE by
// ordinal; ordinal 4 is not used.
#include "imaging/bitsqueeze.h"
#include "win/loader.h"

DECLARE_EXPORT_ORDINALS({BITSQUEEZE_ORDINAL_COMPRESS, "COMPRESS"},
                        {BITSQUEEZE_ORDINAL_DECOMPRESS, "DECOMPRESS"},
                        {BITSQUEEZE_ORDINAL_RAW2ROTATE, "RAW2ROTATE"});
