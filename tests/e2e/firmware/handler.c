/* The event handler that main calls.
 *
 * The place of the weak default handler: once tarnel-elf2obj converts weak
 * definitions, this definition becomes __attribute__((weak)), another
 * module of the firmware defines the handler that overrides it, and the
 * expected output's "event 2:" line names the override. Until then this is
 * the only definition. */
#include "firmware.h"

const char *event_handler(unsigned event)
{
    return event ? "default handler" : "no event";
}
