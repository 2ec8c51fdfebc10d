#include "platform/testing/fake_registry.h"

#include "reg_text.h"
#include "registry_tree.h"

namespace platform::testing {

FakeRegistry::FakeRegistry() : tree_(std::make_unique<detail::RegistryTree>()) {}
FakeRegistry::~FakeRegistry() = default;

ErrorCode FakeRegistry::loadRegText(std::string_view text) {
  return detail::applyRegText(text, *tree_).code;
}

void FakeRegistry::setValue(RegistryRoot root, std::string_view keyPath, std::string_view name,
                            std::uint32_t type, std::vector<std::uint8_t> bytes) {
  tree_->create(root, keyPath).values[std::string(name)] = {type, std::move(bytes)};
}

void FakeRegistry::setString(RegistryRoot root, std::string_view keyPath, std::string_view name,
                             std::string_view text, std::uint32_t type) {
  std::vector<std::uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  setValue(root, keyPath, name, type, std::move(bytes));
}

void FakeRegistry::setDword(RegistryRoot root, std::string_view keyPath, std::string_view name,
                            std::uint32_t number) {
  setValue(root, keyPath, name, REG_DWORD,
           {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
            static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)});
}

void FakeRegistry::createKeyPath(RegistryRoot root, std::string_view keyPath) {
  tree_->create(root, keyPath);
}

std::optional<FakeRegistry::Value> FakeRegistry::value(RegistryRoot root, std::string_view keyPath,
                                                       std::string_view name) const {
  detail::RegistryNode* node = tree_->find(root, keyPath);
  if (node == nullptr) return std::nullopt;
  const auto it = node->values.find(name);
  if (it == node->values.end()) return std::nullopt;
  return Value{it->second.type, it->second.data};
}

bool FakeRegistry::hasKey(RegistryRoot root, std::string_view keyPath) const {
  return tree_->find(root, keyPath) != nullptr;
}

ErrorCode FakeRegistry::openKey(RegistryRoot root, std::string_view path,
                                std::unique_ptr<RegistryKey>& out) {
  return tree_->open(root, path, !readOnly, out);
}

ErrorCode FakeRegistry::createKey(RegistryRoot root, std::string_view path,
                                  std::unique_ptr<RegistryKey>& out) {
  return tree_->createKey(root, path, !readOnly, out);
}

}  // namespace platform::testing
