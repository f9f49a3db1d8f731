#include "tools/attachefichier/Fenetres.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kup::attache {

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QPointer<QLabel> g_occupe;

}  // namespace

bool FenetresPossibles() {
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  return app && QThread::currentThread() == app->thread();
}

void FenetrePieces(const std::string& identifiant, const std::string& habilitation, const std::vector<Piece>& pieces) {
  QDialog d;
  d.setObjectName("AttacheFichierPieces");
  d.setWindowTitle(QStringLiteral("Pièces jointes - ") + Q(identifiant));
  auto* box = new QVBoxLayout(&d);
  auto* titre = new QLabel(QStringLiteral("Dossier %1 : %2 pièce(s) jointe(s)").arg(Q(identifiant)).arg(pieces.size()));
  box->addWidget(titre);
  auto* liste = new QTreeWidget;
  liste->setObjectName("pieces");
  liste->setRootIsDecorated(false);
  liste->setHeaderLabels({QStringLiteral("Nom"), QStringLiteral("Taille"), QStringLiteral("Dossier")});
  for (const auto& p : pieces) {
    auto* it = new QTreeWidgetItem(liste);
    it->setText(0, Q(p.nom));
    it->setText(1, QLocale(QLocale::French).formattedDataSize(p.taille));
    it->setText(2, Q(p.dossier));
  }
  liste->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  box->addWidget(liste);
  if (!habilitation.empty()) box->addWidget(new QLabel(QStringLiteral("Droits : ") + Q(habilitation)));
  auto* boutons = new QDialogButtonBox;
  QPushButton* fermer = boutons->addButton(QStringLiteral("Fermer"), QDialogButtonBox::RejectRole);
  QObject::connect(fermer, &QPushButton::clicked, &d, &QDialog::reject);
  box->addWidget(boutons);
  d.resize(560, 320);
  d.exec();
}

void MontrerOccupe() {
  if (!g_occupe) {
    g_occupe = new QLabel(QStringLiteral("Traitement en cours, veuillez patienter…"));
    g_occupe->setObjectName("AttacheFichierOccupe");
    g_occupe->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    g_occupe->setAttribute(Qt::WA_DeleteOnClose);
    g_occupe->setMargin(16);
    g_occupe->setFrameStyle(QFrame::Box);
  }
  if (!QApplication::overrideCursor()) QApplication::setOverrideCursor(Qt::WaitCursor);
  g_occupe->show();
  g_occupe->raise();
  // The work that follows holds the thread: the window is drawn now.
  g_occupe->repaint();
}

void CacherOccupe() {
  if (g_occupe) g_occupe->close();
  if (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
}

}  // namespace kup::attache
