#include "UDatUpdater.h"
// Placeholder: implemented by the merge work.
namespace extmerge {
bool HasMarker(std::string_view, std::string_view) { return false; }
void AssignSplit(TStringList&, const std::string&) {}
std::string JoinList(const TStringList&) { return {}; }
TDatUpdater::TDatUpdater(CatalogueStore& store, const std::string&, const std::string&)
    : store_(&store) {}
TDatUpdater::~TDatUpdater() = default;
void TDatUpdater::Update() {}
void TDatUpdater::MergeSection(const std::string&) {}
void TDatUpdater::CollectNewEntries(TStringList&, const std::string&) {}
void TTemplateDatUpdater::ReadEntries(TStringList&, TIniFile&, const std::string&) {}
void TTemplateDatUpdater::WriteEntries(TStringList&, TIniFile&, const std::string&) {}
void TBackGroundDatUpdater::ReadEntries(TStringList&, TIniFile&, const std::string&) {}
void TBackGroundDatUpdater::WriteEntries(TStringList&, TIniFile&, const std::string&) {}
}  // namespace extmerge
