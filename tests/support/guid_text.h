// Identifiers in their usual text form, for tests that write or read records
// byte by byte.
#pragma once

#include <string>

#include "host/channel_records.h"

// Parses "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX"; false, *out untouched, on any other text.
bool GuidFromString(const char* text, GUID* out);
// Uppercase 8-4-4-4-12 text of `guid`.
std::string GuidToString(const GUID& guid);
