#include "writers/output_set.h"

#include "writers/excel_contact_sheet.h"
#include "writers/pst_export.h"
#include "writers/vcard_writer.h"

namespace plumbrae::writers {

struct OutputSet::Outputs {
    VCardOutput vcards;
    ExcelContactSheet sheet;
    PstExport pst;
};

OutputSet::OutputSet() : m_outputs(std::make_unique<Outputs>()) {}

OutputSet::~OutputSet() = default;

core::ContactOutput* OutputSet::outputFor(core::OutputKind kind) {
    switch (kind) {
    case core::OutputKind::VCards:
        return &m_outputs->vcards;
    case core::OutputKind::Excel:
        return &m_outputs->sheet;
    case core::OutputKind::Pst:
        return &m_outputs->pst;
    case core::OutputKind::None:
        break;
    }
    return nullptr;
}

} // namespace plumbrae::writers
