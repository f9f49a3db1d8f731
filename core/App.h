#pragma once
// The application object: the state the original kept in globals, under the
// original names, plus the platform it runs on. Each test builds its own.
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "vb/Value.h"
#include "platform/Platform.h"

namespace kup {

// Forward declarations of the state owned by other modules; the shared_ptr
// slots keep core free of their headers.
class ApCourrier;
class ApTableur;
class ApOraSession;
class Catal_V3;
class Equivalence_V3;
class ErreurTxt;
class Str_DDESRV;
class FormCoulSig;
struct CommandTable;
struct GisState;       // partner route / template route / themes / palette
struct DocumentState;  // decree working file, saved panel positions, html pages written

// The settings store: section -> key -> value (keys compared without regard to case).
class ApParametre {
 public:
  void clear();
  void set(const std::string& section, const std::string& key, const std::string& value);
  // "" when absent.
  std::string get(const std::string& section, const std::string& key) const;
  bool has(const std::string& section, const std::string& key) const;
  size_t size() const;

 private:
  std::map<std::string, std::map<std::string, std::string>> data_;  // upper-cased keys
};

// KUP_MDI: the main window model. Sizes and positions in twips.
struct MainWindow {
  double Left = 0, Top = 0, Width = 15360, Height = 11520;
  double ScaleWidth = 15240, ScaleHeight = 10800;
  // The screen's work area, which a maximised window fills: the stand-in
  // screen's (1024 x 768 pixels) unless the desktop gives its own.
  double WorkAreaWidth = 15360, WorkAreaHeight = 11520;
  int WindowState = 0;   // 0 normal, 1 minimised, 2 maximised
  int BorderStyle = 2;   // 2 sizable, 3 fixed dialog
  long hWnd = 0;
  bool Visible = false;
  std::string Caption = "Korvane";
  // DDE source properties (set by the partner route).
  std::string LinkTopic;
  int LinkMode = 0;
  // The Txt_DDE control array: element 0 exists from the start; further
  // elements are loaded and unloaded by index.
  std::map<int, std::unique_ptr<platform::IDdeLink>> Txt_DDE;
  int focusRequests = 0;  // how many times SetFocus was applied
  // The argument-less operation the DDE receiver applies while the window
  // is visible: brings it back to the user.
  void SetFocus() { ++focusRequests; }
  // A new outer size in twips. The model has no frame of its own: the frame
  // keeps its thickness, so the inner size follows by the same amount, and
  // the window is never smaller than its frame. A size that is negative or
  // no finite number raises 380 and changes nothing.
  void SetOuterSize(double width, double height);
  // WindowState 2: the window measures the work area, whatever size it had
  // before (a panel's, say), so that what a maximised window answers never
  // depends on the panel used before.
  void Maximise();
};

constexpr double TwipsPerPixelX = 15;
constexpr double TwipsPerPixelY = 15;

struct App;

// Places where the core starts work owned by modules above it (the command
// table installs them; tests may install their own).
struct Hooks {
  std::function<void(App&)> SIG_Initialiser;          // template route, MODE "1"/"4"
  std::function<void(App&)> DDE_Initialiser;          // partner route, MODE "2"
  std::function<void(App&, int)> setEditorType;       // both office drivers
  std::function<void(App&)> sub_ChargerEquivalences;  // start-up catalogue load
  std::function<long(App&, const std::string&, const std::string&)> loadProcInDLL;
  std::function<std::string(App&, const std::string&, const std::string&)> sDecrypterChaineSSO;
  std::function<void(App&)> unload;                   // releases session and drivers
  // Run once on each office driver when it is created (first use): the
  // modules above the drivers give them their twins and catalogue lookups.
  std::function<void(App&, ApCourrier&)> configureCourrier;
  std::function<void(App&, ApTableur&)> configureTableur;
  // Run once when the colour-theme window object is created: the desktop
  // mode puts it on screen.
  std::function<void(App&, FormCoulSig&)> configureFormCoulSig;
};

struct App {
  explicit App(Platform p);
  ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  Platform pf;

  // Core globals.
  MainWindow KUP_MDI;
  // Desktop mode: raised while a step waits for the person in a window that
  // is not the program's own (the office's print dialog). A partner's string
  // is then answered on receipt and run after the step, as under a box; and
  // the waiting step turns the loop (turnLoop) so that it is received.
  int waitingForPerson = 0;
  std::function<void()> turnLoop;  // empty headless
  ApParametre G_Parametres;  // the settings store
  bool G_Debug = false, G_Perf = false;
  std::string G_SepNiveau1, G_SepNiveau2, G_SepNiveau3;
  std::string G_Args, G_Swif;  // -ARGS and -SWIF texts of the command line
  std::string G_UtilisateurUnique, G_MotDePasseUnique;
  std::string G_ChaineSQL;

  // Setting globals (filled by Gen_LireParametres; empty until then).
  std::string G_RepModele, G_RepFicReglement, G_TypeFusionArrete;
  std::string G_ModeDDE, G_FicDDE;
  std::vector<std::string> G_RepStockage;
  std::string G_TailleMax;
  bool G_Compression = false, G_Cryptage = false, G_AttacheActif = false, G_CodeInstructeur = false;
  int G_TypeEditeur = 0;           // editor type for both office drivers
  std::string G_RepCourrierAttente;  // REP_COURRIERATTENTE
  std::map<std::string, std::string> G_SettingsExtra;  // further settings other modules read

  // Deferred-call timer state.
  std::string G_AppelDiffere;  // the stored decoded request

  // Set by the command "unload" once the session and the drivers are
  // released: the host ends the process when it sees it.
  bool quitRequested = false;
  // Main has run (the catalogue load happens once per process).
  bool mainDone = false;

  // The attachment library as loaded for the busy indicator and its
  // initialisation: 0 not tried yet, >0 loaded, <0 unavailable (logged once).
  long hAttacheFichier = 0;
  bool busyUnavailableLogged = false;
  // The busy indicator's entry points, looked up once (every request shows
  // and hides it): 0 not looked up yet, else the library handle they were
  // looked up in.
  long busyHandle = 0;
  void* busyShow = nullptr;
  void* busyHide = nullptr;

  // Window styles saved by EffacerBarreControle, by window handle.
  std::map<long, long> stylesSauves;

  // GEN_DecomposerLigne: the text being cut (UTF-8) and the byte of the next
  // character to read.
  std::string decomposerTampon;
  size_t decomposerPosition = 0;

  // Temporary names already handed out (a name is never handed out twice).
  std::set<std::string> fichiersTemporaires;

  // Debug and performance windows (last 65535 characters each).
  std::string debugWindow, perfWindow;

  // Office drivers, created on first use (office/).
  std::shared_ptr<ApCourrier> G_Courrier;
  std::shared_ptr<ApTableur> G_Tableur;
  // Oracle session, unset while not connected (data/).
  std::shared_ptr<ApOraSession> G_OraSession;
  // Catalogue and equivalences (documents/).
  std::shared_ptr<Catal_V3> G_Catalogue;
  std::shared_ptr<Equivalence_V3> G_Equivalence;
  std::shared_ptr<ErreurTxt> G_ErrCatalogue, G_ErrEquivalence;
  long G_ResCatalogue = 0, G_ResEquivalence = 0;
  // GIS link (gis/).
  std::shared_ptr<GisState> gis;
  std::shared_ptr<FormCoulSig> FormCoulSigWindow;
  // Document module state (documents/).
  std::shared_ptr<DocumentState> docs;
  // The command table the dispatcher uses (core/table) and the module hooks.
  std::shared_ptr<CommandTable> commands;
  Hooks hooks;

  // Shortcuts.
  platform::IFileSystem& fs() { return *pf.fs; }
  platform::IEnvironment& env() { return *pf.env; }
  platform::IFlash& flash() { return *pf.flash; }
};

}  // namespace kup
