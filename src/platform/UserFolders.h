#pragma once
#include <string>

// The user's home folder without a final separator ("" for the root); empty when none is
// known.
std::string HomeFolder();
