#include "platform/qt/QtFenetres.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTabWidget>
#include <QTranslator>

#include "vb/VbError.h"
#include "platform/PathText.h"

namespace kup::platform {

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
std::string S(const QString& s) { return s.toUtf8().toStdString(); }

QMessageBox::Icon Icone(int style) {
  switch (style & 0x70) {
    case mb::Critical: return QMessageBox::Critical;
    case mb::Question: return QMessageBox::Question;
    case mb::Exclamation: return QMessageBox::Warning;
    case mb::Information: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

// Qt's file list writes its dates and sizes in the machine's locale (the
// environment's, English when LANG is unset), not in the application's, and
// its translations lack "Folder": the dialog's columns are given here in
// the application's French.
class ColonnesEnFrancais : public QIdentityProxyModel {
 public:
  using QIdentityProxyModel::QIdentityProxyModel;

  QVariant data(const QModelIndex& index, int role) const override {
    auto* fichiers = qobject_cast<QFileSystemModel*>(sourceModel());
    if (role != Qt::DisplayRole || !fichiers || index.column() < 1) return QIdentityProxyModel::data(index, role);
    const QModelIndex source = mapToSource(index);
    const QFileInfo info = fichiers->fileInfo(source);
    const QLocale francais;
    switch (index.column()) {
      case 1:
        if (info.isFile()) return francais.formattedDataSize(info.size());
        break;
      case 2:
        if (info.isDir()) return QStringLiteral("Dossier");
        break;
      case 3:
        return francais.toString(fichiers->lastModified(source), QLocale::ShortFormat);
    }
    return QIdentityProxyModel::data(index, role);
  }
};

// Qt's printer dialog offers more than its options govern: pages, the page
// set, the order, and a tab of colour and two-sided printing half in
// English, all of which the office would ignore. The dialog puts some of
// them back each time it is shown, so they are taken away once it is.
class SeulementImprimanteEtCopies : public QObject {
 public:
  bool eventFilter(QObject* objet, QEvent* e) override {
    if (e->type() == QEvent::Show)
      for (const char* nom : {"gbPrintRange", "pageSetLabel", "pageSetCombo", "collate", "reverse", "outputIcon"})
        if (auto* w = objet->findChild<QWidget*>(QString::fromLatin1(nom))) w->hide();
    return false;
  }
};

}  // namespace

std::unique_ptr<QObject> InstallFrenchQtTexts() {
  const QLocale fr(QLocale::French, QLocale::France);
  // Dates and sizes in the dialogs as the person reads them.
  QLocale::setDefault(fr);
  auto t = std::make_unique<QTranslator>();
  if (!t->load(fr, "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) return nullptr;
  QCoreApplication::installTranslator(t.get());
  return t;
}

int QtMessageBox::show(const std::string& prompt, int buttons, const std::string& title) {
  QMessageBox box;
  box.setWindowTitle(Q(title));
  box.setText(Q(prompt));
  box.setIcon(Icone(buttons));
  if (buttons & mb::SystemModal) box.setWindowFlag(Qt::WindowStaysOnTopHint);
  const std::vector<int> codes = mb::Buttons(buttons);
  std::vector<QPushButton*> poussoirs;
  for (int code : codes) {
    // One role for all: the box keeps the order the style gives instead of
    // the desktop's own, and guesses no Escape button. Each answer has its
    // key, its first letter: no two buttons of one box share it.
    poussoirs.push_back(box.addButton(Q("&" + mb::ButtonName(code)), QMessageBox::ActionRole));
  }
  size_t defaut = static_cast<size_t>((buttons & 0x300) >> 8);
  if (defaut >= poussoirs.size()) defaut = 0;
  box.setDefaultButton(poussoirs[defaut]);
  for (size_t i = 0; i < codes.size(); ++i)
    if (codes[i] == mb::Cancel || codes.size() == 1) box.setEscapeButton(poussoirs[i]);
  box.exec();
  int answer = mb::HeadlessAnswer(buttons);
  for (size_t i = 0; i < poussoirs.size(); ++i)
    if (box.clickedButton() == poussoirs[i]) answer = codes[i];
  if (log_) {
    std::string names;
    for (int b : codes) names += (names.empty() ? "" : "/") + mb::ButtonName(b);
    log_->write("msgbox", title + " | " + prompt + " | " + names + " -> " + mb::ButtonName(answer));
  }
  return answer;
}

std::vector<std::string> QtNameFilters(const std::string& vbFilter) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= vbFilter.size()) {
    size_t bar = vbFilter.find('|', start);
    if (bar == std::string::npos) bar = vbFilter.size();
    parts.push_back(vbFilter.substr(start, bar - start));
    start = bar + 1;
  }
  std::vector<std::string> out;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    std::string motifs = parts[i + 1];
    for (char& c : motifs)
      if (c == ';' || c == ',') c = ' ';
    std::string nom = parts[i];
    // "Modèles (*.ott)" already shows its patterns: they are given again in
    // Qt's form only.
    if (!nom.empty() && nom.back() == ')' && nom.rfind(" (") != std::string::npos) nom.erase(nom.rfind(" ("));
    out.push_back(nom + " (" + motifs + ")");
  }
  return out;
}

void QtCommonDialog::cancelled(const char* kind) {
  if (log_) log_->write("dialog", std::string(kind) + " cancelled");
  if (state.CancelError) raise(vberr::CancelError);
}

void QtCommonDialog::showFile(bool save) {
  QFileDialog d;
  // Qt's own dialog: the same on every desktop, and one a script can type in.
  d.setOption(QFileDialog::DontUseNativeDialog);
  d.setProxyModel(new ColonnesEnFrancais(&d));
  d.setWindowTitle(Q(state.DialogTitle));
  d.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  d.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  const std::string dossier = state.InitDir.empty() ? std::string() : fs_->hostPath(state.InitDir);
  if (!dossier.empty()) d.setDirectory(Q(dossier));
  QStringList filtres;
  for (const auto& f : QtNameFilters(state.Filter)) filtres << Q(f);
  if (!filtres.isEmpty()) {
    d.setNameFilters(filtres);
    int i = state.FilterIndex >= 1 && state.FilterIndex <= filtres.size() ? state.FilterIndex - 1 : 0;
    d.selectNameFilter(filtres[i]);
  }
  if (!state.DefaultExt.empty()) {
    std::string ext = state.DefaultExt;
    if (ext.front() == '.') ext.erase(0, 1);
    d.setDefaultSuffix(Q(ext));
  }
  if (!state.FileName.empty()) d.selectFile(Q(state.FileName));
  if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) {
    state.FileName.clear();
    cancelled(save ? "save" : "open");
    return;
  }
  const QString choisi = QDir::cleanPath(QFileInfo(d.selectedFiles().front()).absoluteFilePath());
  // A host path: its names as texts that lead back to them ("\\" included).
  const auto hote = [](const QString& q) { return HostNameToText(QFile::encodeName(q).toStdString()); };
  std::string texte = hote(choisi);
  // Under the folder it was opened on, the answer keeps that folder's text.
  if (!dossier.empty()) {
    const QString base = QDir::cleanPath(QFileInfo(Q(dossier)).absoluteFilePath());
    if (choisi.startsWith(base + "/")) {
      std::string reste = hote(choisi.mid(base.size() + 1));
      for (char& c : reste)
        if (c == '/') c = '\\';
      std::string racine = state.InitDir;
      while (!racine.empty() && (racine.back() == '\\' || racine.back() == '/')) racine.pop_back();
      texte = racine + "\\" + reste;
    }
  }
  state.FileName = texte;
  if (log_) log_->write("dialog", std::string(save ? "save" : "open") + " answered \"" + texte + "\"");
}

void QtCommonDialog::ShowOpen() { showFile(false); }
void QtCommonDialog::ShowSave() { showFile(true); }

void QtCommonDialog::ShowPrinter() {
  QPrinter printer;
  printer.setCopyCount(state.Copies > 0 ? state.Copies : 1);
  if (!state.PrinterName.empty()) printer.setPrinterName(Q(state.PrinterName));
  QPrintDialog d(&printer);
  // The control is shared with the file dialogs: their title is not this
  // dialog's, which has its own as on Windows.
  d.setWindowTitle(QStringLiteral("Imprimer"));
  // Only the printer and the copies are handed to the word processor: a
  // file, a page range, the selection or collation would be chosen for
  // nothing.
  d.setOptions(QAbstractPrintDialog::PrintDialogOptions());
  SeulementImprimanteEtCopies seulement;
  d.installEventFilter(&seulement);
  if (auto* onglets = d.findChild<QTabWidget*>(QStringLiteral("tabs")))
    if (auto* options = d.findChild<QWidget*>(QStringLiteral("optionsTab"))) onglets->removeTab(onglets->indexOf(options));
  // The copies at once, not behind "Options".
  if (auto* boutons = d.findChild<QDialogButtonBox*>())
    for (QAbstractButton* b : boutons->buttons())
      if (boutons->buttonRole(b) == QDialogButtonBox::ResetRole) {
        b->click();
        b->hide();
      }
  if (d.exec() != QDialog::Accepted) {
    cancelled("printer");
    return;
  }
  state.Copies = printer.copyCount();
  state.PrinterName = S(printer.printerName());
  if (log_) log_->write("dialog", "printer \"" + state.PrinterName + "\", copies " + std::to_string(state.Copies));
}

}  // namespace kup::platform
