#include "core/conversion_run.h"

namespace plumbrae::core {

ConversionRun::ConversionRun(ConversionHost& host, OutputProvider outputs)
    : m_host(host), m_outputs(std::move(outputs)) {}

RunReport ConversionRun::CmdZimbraConvert_Click() { return {}; }

} // namespace plumbrae::core
