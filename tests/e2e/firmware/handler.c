/* The event handler that main calls: a weak default, as a board support
 * package gives one for each interrupt, which events.c overrides. With -d
 * the converter sees both and keeps the strong definition; this body stays
 * in the image, unreferenced. */
#include "firmware.h"

__attribute__((weak)) const char *event_handler(unsigned event)
{
    return event ? "default handler" : "no event";
}
