#include "writers/output_set.h"

#include "writers/vcard_writer.h"

namespace plumbrae::writers {

struct OutputSet::Outputs {
    VCardOutput vcards;
};

OutputSet::OutputSet() : m_outputs(std::make_unique<Outputs>()) {}

OutputSet::~OutputSet() = default;

core::ContactOutput* OutputSet::outputFor(core::OutputKind kind) {
    switch (kind) {
    case core::OutputKind::VCards:
        return &m_outputs->vcards;
    case core::OutputKind::Excel:
    case core::OutputKind::Pst:
    case core::OutputKind::None:
        break;
    }
    return nullptr;
}

} // namespace plumbrae::writers
