#include "office/ApCourrier.h"

#include <algorithm>

#include "core/Core.h"
#include "vb/VbError.h"
#include "vb/VbString.h"
#include "office/ApTableur.h"
#include "office/DriverSupport.h"

namespace kup {

namespace {

bool IsWordType(int t) { return t == 2 || t == 3; }
bool IsKnownType(int t) { return t == 2 || t == 3 || t == 4; }
bool IsOpenOfficeType(int t) { return t == 4; }

const char* kNotOpen = "Le traitement de texte n'est pas ouvert";

// A bookmark value may carry value parts: parts joined by Chr(242), each a
// kind, Chr(241) and its content ("RTF" for RTF, "TXT" or "TEXTE" for plain
// text). A value that is not made only of such parts is one part: RTF when
// it begins with "{\rtf", else plain text. So names such as "Muñoz" (Chr(241))
// are never cut.
std::vector<ValuePart> ValueParts(const std::string& value) {
  auto pieces = Split(value, Sep242());
  std::vector<ValuePart> parts;
  bool structured = !pieces.empty() && (value.find(Sep241()) != std::string::npos);
  for (const auto& p : pieces) {
    if (!structured) break;
    size_t sep = p.find(Sep241());
    if (sep == std::string::npos) {
      structured = false;
      break;
    }
    std::string kind = UCase(p.substr(0, sep));
    std::string content = p.substr(sep + Sep241().size());
    if (kind == "RTF")
      parts.push_back({true, content});
    else if (kind == "TXT" || kind == "TEXTE")
      parts.push_back({false, content});
    else
      structured = false;
  }
  if (structured) return parts;
  return {ValuePart{value.rfind("{\\rtf", 0) == 0, value}};
}

// A bare file name: no folder part, not "." or "..".
bool IsBareFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of("\\/:") == std::string::npos;
}

}  // namespace

WordTwinFactory DefaultWordTwinFactory() { return {}; }

ApCourrier::ApCourrier(App& app) : twinFactory(DefaultWordTwinFactory()), app_(app), typeEditeur_(app.G_TypeEditeur) {}

ApCourrier::~ApCourrier() {
  if (twin_) {
    try {
      twin_->release();
    } catch (...) {
    }
  }
}

void ApCourrier::signaler(const char* source, int32_t number, const std::string& text) {
  ++echecs_;
  TraiterErreur(app_, source, number, text);
}

bool ApCourrier::run(const char* source, const std::function<void(IWordTwin&)>& fn) {
  if (!twin_) {
    signaler(source, vberr::ObjectVariableNotSet, kNotOpen);
    return false;
  }
  return TrapFailure([&] { fn(*twin_); }, vberr::InvalidCall, vberr::InternalError,
                     [&](int32_t number, const std::string& text) { signaler(source, number, text); });
}

// ---------------------------------------------------------------- the word processor

std::vector<std::string> ApCourrier::ExtensionListeModeles() const {
  if (IsWordType(typeEditeur_)) return {".dot", ".dotx"};
  if (typeEditeur_ == 4) return {".ott"};
  return {};
}

void ApCourrier::OpenEditor() {
  int t = typeEditeur_;
  if (!IsKnownType(t)) {
    signaler("OpenEditor", vberr::InvalidCall, "Type éditeur inconnu : " + std::to_string(t));
    return;
  }
  if (!twin_ || twinType_ != t) {
    CloseEditor();
    auto made = MakeTwin<IWordTwin>(app_, "OpenEditor", twinFactory, t,
                                    "Aucun traitement de texte n'est disponible pour le type éditeur ");
    if (!made) {
      ++echecs_;  // reported by MakeTwin
      return;
    }
    twin_ = std::move(made);
    twinType_ = t;
  }
  if (!run("OpenEditor", [](IWordTwin& w) { w.connect(); })) twin_.reset();
}

void ApCourrier::CloseEditor() {
  richValues_.clear();
  if (!twin_) return;
  try {
    twin_->release();
  } catch (...) {
    // Letting go of a word processor that is already gone is not a failure.
  }
  twin_.reset();
}

bool ApCourrier::EditeurToujoursOuvert() {
  if (!twin_) return false;
  try {
    return twin_->isRunning();
  } catch (...) {
    return false;
  }
}

void ApCourrier::MinimizeEditor() {
  // The user closed the document or the word processor: say so through the flag.
  if (!twin_) {
    G_AccesDocument = false;
    return;
  }
  try {
    twin_->minimize();
  } catch (...) {
    G_AccesDocument = false;
  }
}

// Headless there is no window to show, which the twin does not count as a
// failure; a word processor that is gone is one, and is reported.
void ApCourrier::MaximizeEditor() { run("MaximizeEditor", [](IWordTwin& w) { w.maximize(); }); }

void ApCourrier::ZoomToPage() { run("ZoomToPage", [](IWordTwin& w) { w.zoomToPage(); }); }

// ---------------------------------------------------------------- documents

void ApCourrier::OpenDocument(const std::string& path) {
  richValues_.clear();
  run("OpenDocument", [&](IWordTwin& w) { w.openDocument(path); });
}

void ApCourrier::CloseDocument(bool ownDocument) {
  richValues_.clear();
  // Closing what is already closed is not worth a report.
  if (!twin_) return;
  run("CloseDocument", [&](IWordTwin& w) { w.closeDocument(ownDocument); });
}

bool ApCourrier::UpdateActiveDocument() {
  if (!twin_) {
    G_AccesDocument = false;
    return false;
  }
  if (!IsWordType(twinType_)) return true;
  try {
    twin_->activateDocument();
    return true;
  } catch (...) {
    G_AccesDocument = false;
    return false;
  }
}

void ApCourrier::Orientation(int orientation) {
  run("Orientation", [&](IWordTwin& w) { w.setOrientation(orientation); });
}

std::string ApCourrier::SaveTemp() {
  std::string path;
  // The name is ours before the office writes to it (a file created new,
  // private): the office then writes over our own file, never a link.
  bool ok = run("SaveTemp", [&](IWordTwin& w) {
    path = sFichierTemporaire(app_, twinType_ == 4 ? ".ott" : ".dot");
    w.saveAsTemplate(path);
  });
  if (!ok && !path.empty()) {
    try {
      app_.fs().removeFile(path);
    } catch (...) {
    }
  }
  return ok ? path : std::string();
}

bool ApCourrier::Saved() {
  bool saved = true;
  run("Saved", [&](IWordTwin& w) { saved = w.isSaved(); });
  return saved;
}

int32_t ApCourrier::OpenedDocumentLength() {
  // OpenOffice Writer has no length to give: 1, connected or not.
  if (IsOpenOfficeType(typeEnUsage())) return 1;
  long n = 0;
  run("OpenedDocumentLength", [&](IWordTwin& w) { n = w.documentLength(); });
  return static_cast<int32_t>(n);
}

// ---------------------------------------------------------------- fields, bookmarks, merge

bool ApCourrier::FindMergeFields(bool onlyInIncludedText) {
  MergeFields.clear();
  std::vector<std::string> names;
  if (!run("FindMergeFields", [&](IWordTwin& w) { names = w.mergeFieldNames(onlyInIncludedText); })) return false;
  for (const auto& n : names) {
    bool seen = std::any_of(MergeFields.begin(), MergeFields.end(), [&](const auto& m) { return EqualsNoCase(m, n); });
    if (!seen) MergeFields.push_back(n);
  }
  return IsWordType(twinType_) && !MergeFields.empty();
}

void ApCourrier::FindBookMarks() {
  BookMarks.clear();
  run("FindBookMarks", [&](IWordTwin& w) { BookMarks = w.bookmarkNames(); });
}

bool ApCourrier::InsertBookMarksValues() {
  bool rich = false;
  run("InsertBookMarksValues", [&](IWordTwin& w) {
    size_t n = std::min(BookMarks.size(), BookMarksValues.size());
    for (size_t i = 0; i < n; ++i) {
      auto parts = ValueParts(BookMarksValues[i]);
      bool filled = w.fillBookmark(BookMarks[i], parts);
      bool hasRtf = std::any_of(parts.begin(), parts.end(), [](const auto& p) { return p.rtf; });
      if (!filled || !hasRtf || BookMarks[i].find("S_RTF") == std::string::npos) continue;
      // Only RTF content can bring new fields or bookmarks. The bookmark
      // keeps it and is filled again on every pass: the same value again
      // brings nothing the caller was not told of, so the exchange ends.
      auto [at, fresh] = richValues_.try_emplace(UCase(BookMarks[i]), BookMarksValues[i]);
      if (fresh || at->second != BookMarksValues[i]) rich = true;
      at->second = BookMarksValues[i];
    }
  });
  return rich;
}

void ApCourrier::UnlinkIncludeText() {
  if (IsOpenOfficeType(typeEnUsage())) return;
  run("UnlinkIncludeText", [](IWordTwin& w) { w.unlinkIncludeText(); });
}

void ApCourrier::MailMerge() {
  run("MailMerge", [&](IWordTwin& w) { w.mergeFields(MergeFields, MergeFieldsValues, true); });
}

void ApCourrier::MailMergeShowFields() {
  InsertBookMarksValues();
  run("MailMergeShowFields", [&](IWordTwin& w) { w.mergeFields(MergeFields, MergeFieldsValues, false); });
}

std::string ApCourrier::attachCopy(IWordTwin& w) {
  std::string name = w.documentBaseName() + (twinType_ == 4 ? ".odt" : ".doc");
  const std::string chemin = sJoindreChemin(app_.env().tempFolder(), name);
  ReserverFichierTemporaire(app_, chemin);
  w.saveAs(chemin);
  return name;
}

std::string ApCourrier::mergeAndAttach(const char* source, bool bWithoutFields, bool bAutoAttach) {
  if (bWithoutFields)
    MailMerge();
  else
    MailMergeShowFields();
  std::string name;
  if (bAutoAttach) run(source, [&](IWordTwin& w) { name = attachCopy(w); });
  return name;
}

std::string ApCourrier::MailMergeOpen(bool bWithoutFields, bool bAutoAttach) {
  std::string name = mergeAndAttach("MailMergeOpen", bWithoutFields, bAutoAttach);
  MinimizeEditor();
  GotoStartOfDoc();
  MaximizeEditor();
  return name;
}

std::string ApCourrier::MailMergeMail(bool bWithoutFields, bool bAutoAttach) {
  std::string name = mergeAndAttach("MailMergeMail", bWithoutFields, bAutoAttach);
  run("MailMergeMail", [](IWordTwin& w) { w.sendMail(); });
  return name;
}

std::string ApCourrier::MailMergePrint(int32_t copies, bool bClose, bool bShowDialog, bool bAutoAttach) {
  // Merged as with MailMergeOpen(False): a decree printed and then shown
  // keeps its fields for the next exchange of values.
  std::string name = mergeAndAttach("MailMergePrint", false, bAutoAttach);
  // The copies chosen in the printer dialog are those of this printing;
  // the next one takes its own count again. The printer stays chosen.
  const int n = copies_ > 0 ? copies_ : copies;
  copies_ = 0;
  run("MailMergePrint", [&](IWordTwin& w) {
    w.print(n, bShowDialog, printer_);
    if (bClose) w.closeDocument(true);
  });
  return name;
}

std::string ApCourrier::MailMergeSave(const std::string& fileName, bool bAutoAttach) {
  // The name comes from the request: it must stay inside the save folder.
  if (!IsBareFileName(fileName)) {
    signaler("MailMergeSave", vberr::BadFileName, "Nom de fichier incorrect : " + fileName);
    return {};
  }
  if (app_.G_RepCourrierAttente.empty()) {
    signaler("MailMergeSave", vberr::PathNotFound,
                  "Le dossier des courriers en attente (REP_COURRIERATTENTE) n'est pas défini");
    return {};
  }
  std::string name = mergeAndAttach("MailMergeSave", true, bAutoAttach);
  run("MailMergeSave", [&](IWordTwin& w) {
    w.saveAs(sJoindreChemin(app_.G_RepCourrierAttente, fileName));
    w.closeDocument(true);
  });
  return name;
}

void ApCourrier::SubstituteMergeFieldsDocument(const std::string& templateCode, Catal_V3* catalogue,
                                               Equivalence_V3* equivalences, ErreurTxt* errors) {
  const auto& lk = equivalenceLookups;
  if (!catalogue || !equivalences || !lk.sNomVariableV3 || !lk.vNomsEquivalence || !lk.sModeEquivalence) {
    signaler("SubstituteMergeFieldsDocument", vberr::ObjectVariableNotSet,
                  "Le catalogue V3 et ses équivalences ne sont pas disponibles");
    return;
  }
  auto addError = [&](const std::string& row) {
    if (errors && lk.erreurChargement) lk.erreurChargement(*errors, row);
  };
  run("SubstituteMergeFieldsDocument", [&](IWordTwin& w) {
    std::vector<std::string> names;
    for (const auto& n : w.mergeFieldNames(false))
      if (std::none_of(names.begin(), names.end(), [&](const auto& m) { return EqualsNoCase(m, n); }))
        names.push_back(n);
    bool withFormats = lk.appFormatV3 && lk.sFormatEquivalence && lk.appFormatV3(*equivalences) != 0;
    std::vector<FieldReplacement> reps;
    for (const auto& n : names) {
      if (lk.existeVariable && lk.existeVariable(n, *catalogue)) continue;  // already a V3 name
      std::string nom = n;
      std::string key = lk.sNomVariableV3(nom, templateCode, *equivalences);
      std::vector<std::string> v3 = key.empty() ? std::vector<std::string>{} : lk.vNomsEquivalence(key, *equivalences);
      // Two blanks in a row in the equivalence file split off an empty name,
      // which is no field name.
      std::erase(v3, std::string());
      if (v3.empty()) {
        addError("0;" + n + ";" + templateCode + ";champ de fusion sans équivalence V3");
        continue;
      }
      // Mode "c" puts every V3 field in place of the V2 one, side by side;
      // any other mode the first one.
      if (lk.sModeEquivalence(key, *equivalences) != "c") v3.resize(1);
      FieldReplacement r;
      r.oldName = n;
      r.newNames = v3;
      for (const auto& v : v3) r.formats.push_back(withFormats ? lk.sFormatEquivalence(v, *catalogue) : std::string());
      reps.push_back(std::move(r));
    }
    if (!reps.empty()) w.replaceMergeFields(reps);
  });
}

void ApCourrier::SubstituteBookMarks(Equivalence_V3* equivalences, ErreurTxt* errors) {
  const auto& lk = equivalenceLookups;
  if (!equivalences || !lk.signetEquivalent) {
    signaler("SubstituteBookMarks", vberr::ObjectVariableNotSet,
                  "Les équivalences des signets ne sont pas disponibles");
    return;
  }
  run("SubstituteBookMarks", [&](IWordTwin& w) {
    for (const auto& b : w.bookmarkNames()) {
      if (lk.existeSignetV3 && lk.existeSignetV3(b, *equivalences)) continue;
      std::string v3 = lk.signetEquivalent(b, *equivalences);
      if (v3.empty()) {
        if (errors && lk.erreurChargement) lk.erreurChargement(*errors, "0;" + b + ";;signet sans équivalence V3");
        continue;
      }
      w.renameBookmark(b, v3);
    }
  });
}

// ---------------------------------------------------------------- insertion

void ApCourrier::InsertTextRTF(const std::string& text, const CursorPosition* at, bool paragraphBreak) {
  run("InsertTextRTF", [&](IWordTwin& w) {
    if (text.rfind("{\\rtf", 0) == 0)
      w.insertRtf(text, at, paragraphBreak);
    else
      w.insertText(text, at, paragraphBreak);
  });
}

void ApCourrier::InsertText(const std::string& text, bool paragraphBreak, const CursorPosition* at) {
  run("InsertText", [&](IWordTwin& w) { w.insertText(text, at, paragraphBreak); });
}

void ApCourrier::InsertFileRTF(const std::string& path) {
  run("InsertFileRTF", [&](IWordTwin& w) { w.insertFileRtf(path); });
}

void ApCourrier::InsertTextToTable(const std::string& text) {
  run("InsertTextToTable", [&](IWordTwin& w) { w.insertTable(text); });
}

// ---------------------------------------------------------------- cursor and selection

void ApCourrier::GotoStartOfDoc() { run("GotoStartOfDoc", [](IWordTwin& w) { w.gotoStartOfDoc(); }); }
void ApCourrier::GotoEndOfLine() { run("GotoEndOfLine", [](IWordTwin& w) { w.gotoEndOfLine(); }); }
void ApCourrier::GotoStartOfLine() { run("GotoStartOfLine", [](IWordTwin& w) { w.gotoStartOfLine(); }); }
void ApCourrier::GoUp() { run("GoUp", [](IWordTwin& w) { w.goUp(); }); }
void ApCourrier::GoDown() { run("GoDown", [](IWordTwin& w) { w.goDown(); }); }
void ApCourrier::GotoNextCell() { run("GotoNextCell", [](IWordTwin& w) { w.gotoNextCell(); }); }

bool ApCourrier::SearchWord(const std::string& text) {
  bool found = false;
  run("SearchWord", [&](IWordTwin& w) { found = w.searchWord(text); });
  return found;
}

void ApCourrier::SelectCell() { run("SelectCell", [](IWordTwin& w) { w.selectCell(); }); }

std::string ApCourrier::CellTextSelected() {
  std::string text;
  run("CellTextSelected", [&](IWordTwin& w) { text = w.cellTextSelected(); });
  return text;
}

std::vector<CursorPosition> ApCourrier::GetCursorPos() {
  // Always one element, so that callers reading element 0 stay safe.
  std::vector<CursorPosition> pos(1);
  run("GetCursorPos", [&](IWordTwin& w) { pos[0] = w.cursorPos(); });
  return pos;
}

void ApCourrier::SetRange(const CursorPosition& start, const CursorPosition& end) {
  run("SetRange", [&](IWordTwin& w) { w.setRange(start, end); });
}

bool ApCourrier::SelectionInTable() {
  bool in = false;
  run("SelectionInTable", [&](IWordTwin& w) { in = w.selectionInTable(); });
  return in;
}

namespace {
std::string ThroughClipboard(App& app, const std::string& text, const char* format) {
  if (!app.pf.clipboard) return text;
  app.pf.clipboard->clear();
  app.pf.clipboard->setText(text, format);
  return app.pf.clipboard->getText(format);
}
}  // namespace

std::string ApCourrier::SelectionToRTF() {
  std::string rtf;
  run("SelectionToRTF", [&](IWordTwin& w) { rtf = ThroughClipboard(app_, w.selectionRtf(), "rtf"); });
  return rtf;
}

std::string ApCourrier::SelectionToText() {
  std::string text;
  run("SelectionToText", [&](IWordTwin& w) { text = ThroughClipboard(app_, w.selectionText(), "text"); });
  return text;
}

// ---------------------------------------------------------------- dialogs

std::string ApCourrier::ChoiceFile(platform::ICommonDialog& dialog) {
  return ChooseTemplate(app_, dialog, ExtensionListeModeles(), app_.G_RepModele);
}

void ApCourrier::ChoicePrint(platform::ICommonDialog& dialog) {
  TrapFailure(
      [&] {
        dialog.state.CancelError = true;
        dialog.state.PrinterName = printer_;
        // Opened on what is chosen, so that confirming it keeps it.
        dialog.state.Copies = copies_ > 0 ? copies_ : 1;
        dialog.ShowPrinter();
        printer_ = dialog.state.PrinterName;
        copies_ = std::clamp(dialog.state.Copies, 1, 999);
      },
      vberr::InvalidCall, vberr::InternalError,
      [&](int32_t number, const std::string& text) {
        if (number != vberr::CancelError) signaler("ChoicePrint", number, text);
      });
}

// ---------------------------------------------------------------- map pictures

bool ApCourrier::trouverFusionObject(StrArray& names, StrArray& identifiers, StrArray& widths, StrArray& heights,
                                     StrArray& scales) {
  names.clear();
  identifiers.clear();
  widths.clear();
  heights.clear();
  scales.clear();
  if (IsOpenOfficeType(typeEnUsage())) return false;
  std::vector<MapPicture> found;
  if (!run("trouverFusionObject", [&](IWordTwin& w) { found = w.mapPlaceholders(); })) return false;
  for (const auto& p : found) {
    names.push_back(p.name);
    identifiers.push_back(p.identifier);
    widths.push_back(p.width);
    heights.push_back(p.height);
    scales.push_back(p.scale);
  }
  return !found.empty();
}

bool ApCourrier::remplacerFusionObject(const StrArray& names, const StrArray& identifiers, const StrArray& widths,
                                       const StrArray& heights, const StrArray& scales) {
  if (IsOpenOfficeType(typeEnUsage())) return false;
  auto at = [](const StrArray& a, size_t i) { return i < a.size() ? a[i] : std::string(); };
  std::vector<MapPicture> pictures;
  for (size_t i = 0; i < names.size(); ++i)
    pictures.push_back({names[i], at(identifiers, i), at(widths, i), at(heights, i), at(scales, i)});
  bool replaced = false;
  run("remplacerFusionObject", [&](IWordTwin& w) { replaced = w.replaceMapPlaceholders(pictures); });
  return replaced;
}

// ---------------------------------------------------------------- instance and hooks

ApCourrier& G_Courrier(App& app) {
  if (!app.G_Courrier) {
    app.G_Courrier = std::make_shared<ApCourrier>(app);
    if (app.hooks.configureCourrier) app.hooks.configureCourrier(app, *app.G_Courrier);
  }
  return *app.G_Courrier;
}

void InstallOfficeHooks(App& app) {
  app.hooks.setEditorType = [](App& a, int type) {
    a.G_TypeEditeur = type;
    G_Courrier(a).setTypeEditeur(type);
    G_Tableur(a).setTypeEditeur(type);
  };
  auto previous = app.hooks.unload;
  app.hooks.unload = [previous](App& a) {
    if (previous) previous(a);
    a.G_OraSession.reset();
    if (a.G_Courrier) a.G_Courrier->CloseEditor();
    a.G_Courrier.reset();
    if (a.G_Tableur) a.G_Tableur->DetacheCalc();
    a.G_Tableur.reset();
  };
}

}  // namespace kup
