#pragma once

#include "automation/object.h"

namespace plumbrae::pst::rdo {

/// Registers the session class under its ProgID (automation::contract::SessionProgId), so that
/// `automation::createObject` with that ProgID gives a new session over our own PST writer.
/// The programs call it once at start; calling it again does no harm.
void registerRdoSession();

/// A new session, as the registered factory makes it.
automation::ObjectPtr makeRdoSession();

} // namespace plumbrae::pst::rdo
