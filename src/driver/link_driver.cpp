#include "driver/link_driver.hpp"

namespace tarnel {

void runLink(LinkState&) {}

}  // namespace tarnel
