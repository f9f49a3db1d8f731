#pragma once
// The word-processor driver: one instance per application (G_Courrier),
// created on first use. Every member delegates to the twin of the configured
// editor type (2 or 3 Microsoft Word, 4 OpenOffice Writer).
//
// Error rule: a failure of the word processor inside a member is reported
// through TraiterErreur under the member's name and the member returns its
// neutral result ("" / false / nothing); members never raise to their caller.
// A member called while no word processor is connected reports number 91.
// Minimising fails silently, clearing G_AccesDocument instead.
// Echecs() counts the failures reported so far, so that a caller can tell
// an empty answer from a failed call.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/App.h"
#include "vb/Value.h"
#include "office/WordTwin.h"

namespace kup {

// The catalogue lookups the driver uses to turn V2 merge fields and
// bookmarks into V3 ones. They belong to the document services, above this
// layer; the document module installs them on the driver.
struct EquivalenceLookups {
  // Equivalence key for a V2 name and code ("" when none); may rewrite name.
  std::function<std::string(std::string& name, const std::string& code, Equivalence_V3& eq)> sNomVariableV3;
  std::function<std::vector<std::string>(const std::string& key, Equivalence_V3& eq)> vNomsEquivalence;
  std::function<std::string(const std::string& key, Equivalence_V3& eq)> sModeEquivalence;
  std::function<std::string(const std::string& name, Catal_V3& cat)> sFormatEquivalence;
  // Equivalence_V3.AppFormatV3: the V3 fields get their catalogue format
  // switch only when it is not 0 (unset: never).
  std::function<int(Equivalence_V3& eq)> appFormatV3;
  // True when the catalogue holds a variable of that name (a V3 name needs no change).
  std::function<bool(const std::string& name, Catal_V3& cat)> existeVariable;
  // The V3 bookmark name for a V2 bookmark ("" when none).
  std::function<std::string(const std::string& name, Equivalence_V3& eq)> signetEquivalent;
  // True when the name is already a V3 bookmark; may be left unset.
  std::function<bool(const std::string& name, Equivalence_V3& eq)> existeSignetV3;
  // Appends one row to the error collector (ErreurTxt.ErreurChargement).
  std::function<void(ErreurTxt& errors, const std::string& row)> erreurChargement;
};

class ApCourrier {
 public:
  explicit ApCourrier(App& app);
  ~ApCourrier();
  ApCourrier(const ApCourrier&) = delete;
  ApCourrier& operator=(const ApCourrier&) = delete;

  // ---- public fields
  bool G_AccesDocument = true;
  bool G_MergeFieldIncludeText = false;
  std::vector<std::string> MergeFields;        // read: found by FindMergeFields
  std::vector<std::string> BookMarks;          // read: found by FindBookMarks
  std::vector<std::string> MergeFieldsValues;  // written: paired with MergeFields by position
  std::vector<std::string> BookMarksValues;    // written: paired with BookMarks by position

  // ---- configuration
  int TypeEditeur() const { return typeEditeur_; }
  void setTypeEditeur(int type) { typeEditeur_ = type; }
  WordTwinFactory twinFactory;            // starts as DefaultWordTwinFactory()
  EquivalenceLookups equivalenceLookups;  // installed by the document module
  // The connected twin, nullptr while no word processor is connected.
  IWordTwin* twin() const { return twin_.get(); }
  // How many failures the members have reported since the driver was made.
  long Echecs() const { return echecs_; }

  // ---- the word processor
  std::vector<std::string> ExtensionListeModeles() const;
  void OpenEditor();
  void CloseEditor();
  bool EditeurToujoursOuvert();
  void MinimizeEditor();
  void MaximizeEditor();
  void ZoomToPage();

  // ---- documents
  void OpenDocument(const std::string& path);
  void CloseDocument(bool ownDocument);
  bool UpdateActiveDocument();
  void Orientation(int orientation);
  std::string SaveTemp();
  bool Saved();
  int32_t OpenedDocumentLength();

  // ---- fields, bookmarks, merge
  bool FindMergeFields(bool onlyInIncludedText);
  void FindBookMarks();
  bool InsertBookMarksValues();
  void UnlinkIncludeText();
  // The two merge routines: MergeFieldsValues into the merge fields, the
  // fields becoming text (MailMerge) or staying fields after the bookmarks
  // were filled again (MailMergeShowFields).
  void MailMerge();
  void MailMergeShowFields();
  std::string MailMergeOpen(bool bWithoutFields, bool bAutoAttach);
  std::string MailMergeMail(bool bWithoutFields, bool bAutoAttach);
  std::string MailMergePrint(int32_t copies, bool bClose, bool bShowDialog, bool bAutoAttach);
  std::string MailMergeSave(const std::string& fileName, bool bAutoAttach);
  void SubstituteMergeFieldsDocument(const std::string& templateCode, Catal_V3* catalogue, Equivalence_V3* equivalences,
                                     ErreurTxt* errors);
  void SubstituteBookMarks(Equivalence_V3* equivalences, ErreurTxt* errors);

  // ---- insertion
  void InsertTextRTF(const std::string& text, const CursorPosition* at, bool paragraphBreak);
  void InsertText(const std::string& text, bool paragraphBreak, const CursorPosition* at);
  void InsertFileRTF(const std::string& path);
  void InsertTextToTable(const std::string& text);

  // ---- cursor and selection
  void GotoStartOfDoc();
  void GotoEndOfLine();
  void GotoStartOfLine();
  void GoUp();
  void GoDown();
  void GotoNextCell();
  bool SearchWord(const std::string& text);
  void SelectCell();
  std::string CellTextSelected();
  std::vector<CursorPosition> GetCursorPos();  // element 0: the cursor position
  void SetRange(const CursorPosition& start, const CursorPosition& end);
  bool SelectionInTable();
  std::string SelectionToRTF();   // through the clipboard
  std::string SelectionToText();  // through the clipboard

  // ---- dialogs
  std::string ChoiceFile(platform::ICommonDialog& dialog);
  void ChoicePrint(platform::ICommonDialog& dialog);

  // ---- map pictures
  bool trouverFusionObject(StrArray& names, StrArray& identifiers, StrArray& widths, StrArray& heights,
                           StrArray& scales);
  bool remplacerFusionObject(const StrArray& names, const StrArray& identifiers, const StrArray& widths,
                             const StrArray& heights, const StrArray& scales);

  // The printer chosen by ChoicePrint for the following printing ("" = default).
  const std::string& printerName() const { return printer_; }
  // The copies chosen with it, for the following printing only (0: none chosen).
  int chosenCopies() const { return copies_; }

 private:
  // Every failure a member reports goes through here.
  void signaler(const char* source, int32_t number, const std::string& text);
  // Runs fn on the twin; a failure is reported under source and false returned.
  bool run(const char* source, const std::function<void(IWordTwin&)>& fn);
  std::string mergeAndAttach(const char* source, bool bWithoutFields, bool bAutoAttach);
  std::string attachCopy(IWordTwin& t);
  // The word processor the driver works with: the connected one, else the
  // configured one (what a member answers without asking it).
  int typeEnUsage() const { return twin_ ? twinType_ : typeEditeur_; }

  App& app_;
  int typeEditeur_ = 0;
  std::unique_ptr<IWordTwin> twin_;
  int twinType_ = 0;
  std::string printer_;
  int copies_ = 0;
  long echecs_ = 0;
  // The RTF value each bookmark of the open document last received (by
  // upper-cased name).
  std::map<std::string, std::string> richValues_;
};

// The single instance, created on first use in app.G_Courrier.
ApCourrier& G_Courrier(App& app);

// Sets app.hooks.setEditorType (both drivers) and app.hooks.unload (releases
// the Oracle session and both drivers). Called from InstallModules.
void InstallOfficeHooks(App& app);

}  // namespace kup
