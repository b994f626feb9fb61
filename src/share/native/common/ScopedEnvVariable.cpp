#include "SysInfo.h"

#include <stdexcept>

#include "ErrorHandling.h"
#include "Platform.h"

namespace SysInfo {

ScopedEnvVariable::ScopedEnvVariable(const WideString& name, const WideString& value)
    : name(name), wasSet(platform::environmentVariable(name.c_str(), previous)) {
    setEnvVariable(name, value);
}

ScopedEnvVariable::~ScopedEnvVariable() {
    try {
        if (wasSet) {
            setEnvVariable(name, previous);
        } else {
            unsetEnvVariable(name);
        }
    } catch (const std::runtime_error& e) {
        logCaughtError(CURRENT_POSITION, e);
    } catch (...) {
        logUnknownError(CURRENT_POSITION);
    }
}

} // namespace SysInfo
