#include "support/fake_registry.h"

#include <stdexcept>

namespace kivota::test {

void FakeRegistry::setInteger(RegistryRoot root, const std::string& key, const std::string& name, std::int32_t v) {
    values_[{root, key, name}] = v;
}

void FakeRegistry::setString(RegistryRoot root, const std::string& key, const std::string& name, const std::string& v) {
    values_[{root, key, name}] = v;
}

void FakeRegistry::denyRead(RegistryRoot root, const std::string& key, const std::string& name) {
    denied_.insert({root, key, name});
}

bool FakeRegistry::openKey(RegistryRoot root, const std::string& key) const {
    return closedKeys_.count({root, key}) == 0;
}

const std::variant<std::int32_t, std::string>* FakeRegistry::find(RegistryRoot root, const std::string& key,
                                                                  const std::string& name) const {
    if (denied_.count({root, key, name}) != 0) throw std::runtime_error("access denied");
    const auto it = values_.find({root, key, name});
    return it == values_.end() ? nullptr : &it->second;
}

bool FakeRegistry::valueExists(RegistryRoot root, const std::string& key, const std::string& name) const {
    return values_.count({root, key, name}) != 0 || denied_.count({root, key, name}) != 0;
}

bool FakeRegistry::readInteger(RegistryRoot root, const std::string& key, const std::string& name,
                               std::int32_t& value) const {
    const auto* v = find(root, key, name);
    if (v == nullptr || !std::holds_alternative<std::int32_t>(*v)) return false;
    value = std::get<std::int32_t>(*v);
    return true;
}

bool FakeRegistry::readString(RegistryRoot root, const std::string& key, const std::string& name,
                              std::string& value) const {
    const auto* v = find(root, key, name);
    if (v == nullptr || !std::holds_alternative<std::string>(*v)) return false;
    value = std::get<std::string>(*v);
    return true;
}

}  // namespace kivota::test
