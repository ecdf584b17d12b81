// The rule builders: fill an empty CKinsokuList with the values and rules of
// one printer model (its tables) and of the printer's installed options; and
// the list operations that keep user papers and value exclusions in step.
#pragma once

#include "install_option.h"
#include "kinsoku_list.h"

#include <vector>

namespace sheetwright {

class CUserPaper;

// The model's rule pairs (controlling item, dependent item) as dependencies.
BOOL LoadKinsokuPairs(const ModelBlock* binding, CKinsokuList* list);
// The builders' mode for a list that offers every paper of the model.
inline constexpr DWORD kAllPapers = 1;
// Values of every item and the rules from the model tables. With allPapers 0,
// papers over the model's largest size are left out of the paper item.
BOOL BuildKinsokuRules(const ModelBlock* binding, CKinsokuList* list, DWORD allPapers);
// Rebuilds the rules on the installed-option trigger.
BOOL BuildModelKinsoku(const ModelOptionPair* pair, CKinsokuList* list);

// Replaces the user-paper values of the paper item by the papers of the list.
BOOL RemoveCustomPaperRules(const ModelBlock* binding, CKinsokuList* list,
                            const CUserPaper* papers);
// Allows under {trigger, value} every value of the item not excluded.
BOOL AddAllowedValues(CKinsokuItem* item, WORD trigger, DWORD triggerValue, const WORD* exclusions,
                      int count);

// A value of a finishing trigger that a dependent item has no rule for: under
// it the item refuses every value. The builders give the "none" values (no
// punch, no staple mode) a rule that refuses nothing; what is left is
// reported here, so that a model whose tables leave a value out shows it.
struct UnruledTriggerValue {
    WORD trigger;
    DWORD value;
    WORD target;
};
std::vector<UnruledTriggerValue> FindUnruledTriggerValues(const CKinsokuList* list);

// A paper whose size passes the largest custom size of the model.
BOOL IsPaperOverMaxSize(const ModelBlock* binding, WORD paper);

// Model codes to the values the items hold (0 for other codes).
DWORD MapModelCodeNine(DWORD code);
DWORD MapModelCodeSix(DWORD code);
DWORD MapModelCodeThree(DWORD code);
DWORD MapOptionCode(DWORD code);
// The item-9 value of one bit of a model mask; kNoSortValue for others.
inline constexpr DWORD kNoSortValue = 0xFFFFFFFF;
DWORD MapSortBit(DWORD bit);

} // namespace sheetwright
