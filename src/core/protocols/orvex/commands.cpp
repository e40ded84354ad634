// The Orvex device commands: update, factory default and restart requests.
#include "core/protocols/orvex/product.h"

// The device commands come with the setup panel.
void TProductOrvex::Update() {}
// The device commands come with the setup panel.
void TProductOrvex::FactoryDefault() {}
// The device commands come with the setup panel.
void TProductOrvex::Restart() {}
