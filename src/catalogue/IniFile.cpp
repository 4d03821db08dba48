#include "catalogue/IniFile.h"
// Placeholder: implemented by the catalogue work.
namespace extmerge {
class IniDocument {};
CatalogueStore::CatalogueStore(Platform& platform) : platform_(&platform) {}
CatalogueStore::~CatalogueStore() = default;
IniDocument& CatalogueStore::Open(const std::string& path) {
  auto& d = docs_[path];
  if (!d) d = std::make_unique<IniDocument>();
  return *d;
}
void CatalogueStore::SaveAll() {}
TIniFile::TIniFile(CatalogueStore& store, std::string path)
    : store_(&store), path_(std::move(path)) {}
void TIniFile::ReadSections(TStringList& l) { l.Clear(); }
void TIniFile::ReadSection(const std::string&, TStringList& l) { l.Clear(); }
std::string TIniFile::ReadString(const std::string&, const std::string&, const std::string& d) {
  return d;
}
void TIniFile::ReadSectionValues(const std::string&, TStringList&) {}
void TIniFile::WriteString(const std::string&, const std::string&, const std::string&) {}
void TIniFile::DeleteKey(const std::string&, const std::string&) {}
IniDocument& TIniFile::Doc() { return store_->Open(path_); }
}  // namespace extmerge
