#pragma once

#include "jobs/Errors.h"

namespace ostrevo {

// A printer that cannot be chosen, opened or drawn on, or an operation out of order.
class PrinterError : public JobError {
public:
    using JobError::JobError;
};

} // namespace ostrevo
