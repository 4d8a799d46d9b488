#include "errors.h"

#include <new>
#include <string>

#include "output.h"

namespace cli {

int report_exception(Output& output) noexcept
{
    try {
        try {
            throw;
        } catch (const UsageError& e) {
            output.refusal(e.what(), kExitBadParameter);
            std::fprintf(output.error_stream(), "Try 'tervane --help'.\n");
            return kExitBadParameter;
        } catch (const InputError& e) {
            output.refusal(e.what(), kExitBadParameter);
            return kExitBadParameter;
        } catch (const Failed& failed) {
            return exit_status(failed.code);
        } catch (const std::bad_alloc&) {
            output.error("out of memory");
            return exit_status(-10);
        } catch (const std::exception& e) {
            output.refusal(std::string("internal error: ") + e.what(), kExitOther);
            return kExitOther;
        } catch (...) {
            output.refusal("internal error", kExitOther);
            return kExitOther;
        }
    } catch (...) {
        // Reporting failed too (memory): the status still says what happened.
        return kExitOther;
    }
}

}  // namespace cli
