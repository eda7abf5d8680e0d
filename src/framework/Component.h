// The non-visual component base: a name and an owner that frees what it owns
// when it is destroyed. Portable.
#pragma once

#include <string>
#include <vector>

class TComponent {
public:
    explicit TComponent(TComponent* AOwner = nullptr);
    // Frees the components it owns, then leaves its own owner.
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return FOwner; }
    const std::wstring& Name() const { return FName; }
    void SetName(std::wstring value) { FName = std::move(value); }
    const std::vector<TComponent*>& Components() const { return FComponents; }

private:
    TComponent* FOwner;
    std::wstring FName;
    std::vector<TComponent*> FComponents;
};
