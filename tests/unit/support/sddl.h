// Security descriptors for the tests, written in the system's own string form (SDDL) and
// turned into the bytes Windows keeps: the owner SID and the DACL. The subset the tests need:
// "O:" with a SID or alias, "D:" with its flags (ignored, they are the descriptor's, not the
// ACL's) and ACEs "(type;flags;rights;;;SID)", or "D:NO_ACCESS_CONTROL" for a NULL DACL.
// Types A, D, XA (callback), OA (object); flags OI CI NP IO ID; rights as hexadecimal or the
// two-letter codes; SIDs as "S-1-..." or the aliases SY BA BU AU WD CO AN OW.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SddlBytes {
    std::vector<uint8_t> owner; // empty: no owner
    std::vector<uint8_t> dacl;  // empty: a NULL DACL (or none)
};

// Stops the test with a failure on anything outside the subset.
SddlBytes ParseSddl(const std::string& sddl);

std::vector<uint8_t> SidBytes(const std::string& sid);
