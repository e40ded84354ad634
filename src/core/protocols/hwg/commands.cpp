// The HWG device commands: the device's own answer header rewritten and signed again.
#include "core/protocols/hwg/product.h"

// The device commands come with the setup panel.
void TProductHwg::Update() {}
// The device commands come with the setup panel.
void TProductHwg::FactoryDefault() {}

void TProductHwg::Restart() {}
