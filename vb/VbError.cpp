#include "vb/VbError.h"

namespace kup {

std::string vbErrorText(int32_t number) {
  switch (number) {
    case vberr::InvalidCall: return "Argument ou appel de procédure incorrect";
    case vberr::Overflow: return "Dépassement de capacité";
    case vberr::SubscriptOutOfRange: return "L'indice n'appartient pas à la sélection";
    case vberr::TypeMismatch: return "Incompatibilité de type";
    case vberr::BadFileName: return "Nom ou numéro de fichier incorrect";
    case vberr::FileNotFound: return "Fichier introuvable";
    case vberr::FileAlreadyOpen: return "Fichier déjà ouvert";
    case vberr::FileAlreadyExists: return "Ce fichier existe déjà";
    case vberr::DiskFull: return "Disque plein";
    case vberr::PermissionDenied: return "Permission refusée";
    case vberr::PathFileAccess: return "Erreur d'accès au chemin/fichier";
    case vberr::PathNotFound: return "Chemin d'accès introuvable";
    case vberr::DllLoadError: return "Erreur de chargement de la DLL";
    case vberr::InternalError: return "Erreur interne";
    case vberr::DllEntryNotFound: return "Point d'entrée de DLL introuvable";
    case vberr::ObjectVariableNotSet: return "Variable objet ou variable bloc With non définie";
    case vberr::InvalidUseOfNull: return "Utilisation incorrecte de Null";
    case vberr::ObjectRequired: return "Objet requis";
    case vberr::CantCreateObject: return "Un composant ActiveX ne peut pas créer un objet";
    case vberr::InvalidPropertyValue: return "Valeur de propriété non valide";
    case vberr::DdeNoForeignApp: return "Aucune application étrangère n'a répondu à une tentative de conversation DDE";
    case vberr::DdeRefused: return "L'application étrangère n'exécutera pas la commande DDE ou l'opération";
    case vberr::DdeTimeout: return "Le délai d'attente de l'application distante a expiré";
    case vberr::DdeNoChannel: return "Méthode DDE invoquée sans canal ouvert";
    case vberr::CancelError: return "Annulation sélectionnée";
    default: return {};
  }
}

static std::string describe(int32_t number, std::string description) {
  if (!description.empty()) return description;
  auto t = vbErrorText(number);
  return t.empty() ? "Erreur définie par l'application ou par l'objet" : t;
}

VbError::VbError(int32_t number, std::string description)
    : std::runtime_error(describe(number, description)),
      number_(number),
      description_(describe(number, std::move(description))) {}

void raise(int32_t number, std::string description) { throw VbError(number, std::move(description)); }

}  // namespace kup
