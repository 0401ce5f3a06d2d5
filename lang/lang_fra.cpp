// French texts of the language module "Lang_FRA.Dll". Product and server names and
// the English texts' line breaks are kept; the same ids as the built-in set.

#include <iterator>

#include "language_module.h"

namespace {
using namespace ModuleKey;
constexpr int Menu128 = 128;
constexpr int Language130 = 130;
constexpr int Download131 = 131;
}  // namespace

const ModuleText ModuleTexts[] = {
    {String, 57344, 0, "DFUpdate_tessel"},
    {String, 104, 0, "Configuration du logiciel Orvo"},
    {String, 105, 0, "Allumez l'Orvo et reliez-le à votre PC\n par un câble USB pour lancer la mise à jour."},
    {String, 106, 0, "Veuillez patienter....\nConnexion à l'Orvo."},
    {String, 107, 0, "N° de série Orvo : "},
    {String, 109, 0, "l'Orvo en marche et connectez .."},
    {String, 110, 0, "Téléchargement des données"},
    {String, 111, 0,
     "Téléchargement terminé, débranchez\nl'Orvo du PC. Cliquez sur le X\n pour fermer ce programme ou "
     "rebranchez \nl'Orvo pour une autre mise à jour."},
    {String, 112, 0, "Échec de la mise à jour, rebranchez l'Orvo."},
    {String, 113, 0,
     "Une erreur s'est produite pendant le téléchargement des données depuis le serveur Varnet. Cette "
     "erreur peut survenir si vous n'êtes pas connecté à Internet, si votre pare-feu a bloqué le "
     "téléchargement ou si le serveur Varnet est hors ligne pour une maintenance indispensable. Veuillez "
     "vérifier votre connexion Internet et les paramètres de votre pare-feu."},
    {String, 114, 0, "Erreur du programme de mise à jour Orvo"},
    {String, 115, 0, "Mise à jour réussie !"},
    {String, 116, 0,
     "Les données téléchargées n'ont pas pu être préparées, car le programme de mise à jour ne peut pas "
     "écrire ses fichiers de travail. Vérifiez que le dossier du programme est accessible en écriture et "
     "que le disque n'est pas plein, puis relancez le programme de mise à jour."},
    {String, 117, 0,
     "L'Orvo est en cours de mise à jour. Si vous fermez le programme maintenant, l'Orvo restera sans "
     "base de données de radars complète.\n\nFermer quand même le programme ?"},
    {String, 118, 0, "Le serveur a répondu avec le statut HTTP %1."},
    {String, 119, 0, "Impossible d'écrire dans %1."},
    {String, 120, 0, "Aucune connexion à %1."},
    {String, 121, 0, "Le délai du téléchargement est dépassé."},
    {String, 122, 0, "La réponse du serveur a été interrompue avant sa fin."},
    {String, 123, 0, "La réponse du serveur est bien trop grande pour être une base de données."},
    {String, 124, 0, "La réponse du serveur n'a pas pu être reçue."},
    {String, 125, 0, "La réponse du serveur n'indiquait pas sa longueur ; impossible de savoir si elle était complète."},
    {String, 126, 0, "Le disque contenant %1 est plein."},
    {String, 127, 0, "Le dossier %1 n'est pas accessible en écriture."},
    {String, 129, 0, "Vos réglages n'ont pas pu être enregistrés dans %1. Ils seront redemandés au prochain démarrage."},
    {String, 130, 0, "Base de données du %1, %2 radars"},
    {String, 131, 0, "Base de données sans date, %2 radars"},
    {String, 132, 0, "Aucune base de données"},
    {String, 133, 0, " "},
    {String, 134, 0, "La nouvelle base de données ne contient que %1 radars, l'Orvo en contient %2 actuellement. Moins de la moitié peut signifier que le serveur ou le fichier est incomplet.\n\nÉcrire quand même la base plus petite ?"},
    {Menu, Menu128, 0, "&Menu"},
    {Menu, Menu128, 32771, "&Langue\tCtrl+L"},
    {Menu, Menu128, 32772, "&Téléchargements de radars Orvo"},
    {Menu, Menu128, 57665, "&Quitter\tCtrl+X"},
    {Dialog, Language130, 0, "Langue"},
    {Dialog, Language130, 1, "OK"},
    {Dialog, Language130, 2, "Annuler"},
    {Dialog, Download131, 0, "Téléchargements de radars Orvo"},
    {Dialog, Download131, 1, "OK"},
    {Dialog, Download131, 2, "Annuler"},
    {Dialog, Download131, -1, "Taille totale :"},
    {Dialog, Download131, -2,
     "Cochez les données voulues pour la prochaine mise à jour de votre Orvo.\nRemarque : radars et "
     "écoles britanniques uniquement, sans données cartographiques."},
    {Dialog, Download131, 1000, "Radars R.-U., Irlande"},
    {Dialog, Download131, 1001, "Écoles R.-U."},
    {Dialog, Download131, 1005, "France, Espagne, Port., Italie"},
    {Dialog, Download131, 1002, "Hollande, Belgique, Lux."},
    {Dialog, Download131, 1003, "Allemagne, Autriche, Suisse"},
    {Dialog, Download131, 1004, "Finlande, Danemark, Suède, Norvège"},
    {Dialog, Download131, 1006, "Afrique du Sud "},
};

const std::size_t ModuleTextCount = std::size(ModuleTexts);
