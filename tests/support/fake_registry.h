#pragma once
// A registry view whose values the test sets, typed as the registry types them; keys can be
// made to fail to open and values to deny their read.

#include <map>
#include <set>
#include <string>
#include <tuple>
#include <variant>

#include "platform/registry_view.h"

namespace kivota::test {

class FakeRegistry final : public IRegistryView {
public:
    void setInteger(RegistryRoot root, const std::string& key, const std::string& name, std::int32_t v);
    void setString(RegistryRoot root, const std::string& key, const std::string& name, const std::string& v);
    void failOpen(RegistryRoot root, const std::string& key) { closedKeys_.insert({root, key}); }
    // Reading this value throws, as a read the system denies.
    void denyRead(RegistryRoot root, const std::string& key, const std::string& name);

    bool openKey(RegistryRoot root, const std::string& key) const override;
    bool valueExists(RegistryRoot root, const std::string& key, const std::string& name) const override;
    bool readInteger(RegistryRoot root, const std::string& key, const std::string& name,
                     std::int32_t& value) const override;
    bool readString(RegistryRoot root, const std::string& key, const std::string& name,
                    std::string& value) const override;

private:
    using Where = std::tuple<RegistryRoot, std::string, std::string>;
    const std::variant<std::int32_t, std::string>* find(RegistryRoot, const std::string&, const std::string&) const;
    std::map<Where, std::variant<std::int32_t, std::string>> values_;
    std::set<Where> denied_;
    std::set<std::pair<RegistryRoot, std::string>> closedKeys_;
};

}  // namespace kivota::test
