#pragma once

#include "core/contact_output.h"
#include "core/conversion_host.h"

#include <memory>

namespace plumbrae::writers {

/// The outputs of the three saving options, created once and kept for the life of the program
/// (the worksheet object is reused by every Excel run; a PST session stays until the next PST
/// run replaces it). Both programs give `outputFor` to the conversion run. The PST output
/// creates its session by ProgID: whoever uses it registers the class behind it first (the
/// programs' main registers our own object model, pst::rdo::registerRdoSession).
class OutputSet {
public:
    OutputSet();
    ~OutputSet();
    OutputSet(const OutputSet&) = delete;
    OutputSet& operator=(const OutputSet&) = delete;

    /// The output of a saving option; nullptr for `None` or an option this build lacks.
    core::ContactOutput* outputFor(core::OutputKind kind);

private:
    struct Outputs;
    std::unique_ptr<Outputs> m_outputs;
};

} // namespace plumbrae::writers
