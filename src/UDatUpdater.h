// The catalogue updaters: merge one content folder's catalogue into the
// host's, section by section.
#pragma once

#include <memory>
#include <string>

#include "StringList.h"
#include "catalogue/IniFile.h"

namespace extmerge {

// Does the entry's text hold the marker at a character boundary?
bool HasMarker(std::string_view entry, std::string_view marker);

// list := the tokens of SplitString(text, ",").
void AssignSplit(TStringList& list, const std::string& text);
// The list's strings joined with ",".
std::string JoinList(const TStringList& list);

class TDatUpdater {
 public:
  TDatUpdater(CatalogueStore& store, const std::string& src_path, const std::string& dst_path);
  virtual ~TDatUpdater();

  void Update();

 protected:
  virtual void ReadEntries(TStringList& list, TIniFile& ini, const std::string& section) = 0;
  virtual void WriteEntries(TStringList& list, TIniFile& ini, const std::string& section) = 0;

  void MergeSection(const std::string& section);
  void CollectNewEntries(TStringList& list, const std::string& section);
  // The same, leaving the destination's entries as read in dst.
  void CollectNewEntries(TStringList& list, TStringList& dst, const std::string& section);

  CatalogueStore& Store() { return *store_; }

  std::unique_ptr<TIniFile> FSrcIni;
  std::unique_ptr<TIniFile> FDstIni;

 private:
  CatalogueStore* store_;
};

class TTemplateDatUpdater : public TDatUpdater {
 public:
  using TDatUpdater::TDatUpdater;

 protected:
  void ReadEntries(TStringList& list, TIniFile& ini, const std::string& section) override;
  void WriteEntries(TStringList& list, TIniFile& ini, const std::string& section) override;
};

class TBackGroundDatUpdater : public TDatUpdater {
 public:
  using TDatUpdater::TDatUpdater;

 protected:
  void ReadEntries(TStringList& list, TIniFile& ini, const std::string& section) override;
  void WriteEntries(TStringList& list, TIniFile& ini, const std::string& section) override;
};

}  // namespace extmerge
