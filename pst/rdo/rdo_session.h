#pragma once

#include "automation/object.h"

namespace plumbrae::pst::rdo {

/// The ProgID under which the session class is registered.
inline constexpr const char* RdoSessionProgId = "Redemption.RDOSession";

/// Registers the session class under its ProgID, so that
/// `automation::createObject("Redemption.RDOSession")` gives a new session over our own PST
/// writer. The programs call it once at start; calling it again does no harm.
void registerRdoSession();

/// A new session, as the registered factory makes it.
automation::ObjectPtr makeRdoSession();

} // namespace plumbrae::pst::rdo
