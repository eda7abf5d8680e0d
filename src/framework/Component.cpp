#include "framework/Component.h"

#include <algorithm>

TComponent::TComponent(TComponent* AOwner) : FOwner(AOwner) {
    if (FOwner) FOwner->FComponents.push_back(this);
}

TComponent::~TComponent() {
    while (!FComponents.empty()) delete FComponents.back();  // each one removes itself
    if (FOwner) std::erase(FOwner->FComponents, this);
}
