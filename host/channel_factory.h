// The host's own channel types (values, vectors, object data), made by type
// identifier.
#pragma once

#include <memory>

#include "channel_records.h"
#include "korvane_api.h"
#include "vexa_channel.h"

// Null for a type the host does not make.
KORVANE_API std::shared_ptr<Vexa_Channel> CreateHostChannel(const GUID& type);
