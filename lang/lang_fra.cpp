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
    {String, 133, 0, "\u00A0"},  // a no-break space: a number never wraps
    {String, 134, 0, "La nouvelle base de données ne contient que %1 radars, l'Orvo en contient %2 actuellement. Moins de la moitié peut signifier que le serveur ou le fichier est incomplet.\n\nÉcrire quand même la base de données plus petite ?"},
    {String, 140, 0, "L'historique des mises à jour ne peut pas être tenu : %1\nLes mises à jour continuent sans lui."},
    {String, 141, 0, "Le journal ne peut pas être écrit : %1\nLes mises à jour continuent sans lui."},
    {String, 142, 0, "Historique des mises à jour"},
    {String, 143, 0, "Début"},
    {String, 144, 0, "N° de série Orvo"},
    {String, 145, 0, "Provenance"},
    {String, 146, 0, "Résultat"},
    {String, 147, 0, "Radars"},
    {String, 148, 0, "Date de la base"},
    {String, 149, 0, "Motif"},
    {String, 150, 0, "Fermer"},
    {String, 151, 0, "Aucune mise à jour n'a encore été enregistrée."},
    {String, 152, 0, "Serveur de mise à jour"},
    {String, 153, 0, "Fichier"},
    {String, 154, 0, "Restauration"},
    {String, 155, 0, "Réussie"},
    {String, 156, 0, "Déjà à jour"},
    {String, 157, 0, "Échouée"},
    {String, 158, 0, "Interrompue"},
    {String, 159, 0, "En cours"},
    {String, 160, 0, "Restaurer la base de données précédente"},
    {String, 161, 0, "Bases de données conservées de l'Orvo n° %1, la plus récente d'abord. Celle que vous choisissez est réécrite avec sa propre date."},
    {String, 162, 0, "Conservée le"},
    {String, 163, 0, "Aucun Orvo n'est connecté. Connectez d'abord l'Orvo, puis choisissez à nouveau cette commande."},
    {String, 164, 0, "Aucune base de données précédente de l'Orvo n° %1 n'a encore été conservée."},
    {String, 165, 0, "L'Orvo est en cours de mise à jour. Veuillez attendre la fin de cette mise à jour, puis réessayer."},
    {String, 166, 0, "La base de données sera écrite à la prochaine connexion de l'Orvo. S'il est connecté maintenant, déconnectez-le puis reconnectez-le."},
    {String, 167, 0, "Choisir un fichier de base de données"},
    {String, 168, 0, "Bases de données au format texte (*.txt);;Tous les fichiers (*)"},
    {String, 169, 0, "Le dossier du journal %1 n'a pas pu être ouvert."},
    {String, 170, 0, "&Oui"},
    {String, 171, 0, "&Non"},
    {String, 172, 0, "Échec de la vérification : l'appareil diffère de la base de données à l'adresse %1."},
    {String, 173, 0, "La base de données de l'Orvo n'a pas pu être lue pour en garder une copie ; rien n'a été effacé."},
    {String, 174, 0, "Impossible de lire le plan de la mémoire de l'appareil..."},
    {String, 175, 0, "Pas d'autorisation USB : installez la règle udev 70-orvo-dfu.rules"},
    {String, 176, 0, "Un autre appareil a été branché avant l'écriture."},
    {String, 177, 0, "Pas de connexion au serveur de mise à jour."},
    {String, 178, 0, "fr"},
    {String, 179, 0, "Le programme s'est terminé avant la fin de la mise à jour."},
    {String, 200, 0, "L'Orvo garde sa base de données. Débranchez\nl'Orvo du PC."},
    {String, 201, 0, "La base de données sera écrite dès que l'Orvo sera connecté."},
    {String, 202, 0, "Restauration réussie !"},
    {String, 203, 0, "Conservée"},
    {String, 204, 0, "Pas de pilote USB pour l'Orvo : installez orvo-dfu.inf"},
    {String, 205, 0, "Le fichier %1 ne contient aucun radar : ce n'est pas un texte de base de données."},
    {Menu, Menu128, 0, "&Menu"},
    {Menu, Menu128, 32771, "&Langue\tCtrl+L"},
    {Menu, Menu128, 32772, "&Téléchargements de radars Orvo"},
    {Menu, Menu128, 32780, "&Historique des mises à jour…"},
    {Menu, Menu128, 32781, "&Restaurer la base précédente…"},
    {Menu, Menu128, 32782, "Mettre à jour depuis un &fichier…"},
    {Menu, Menu128, 32783, "&Ouvrir le dossier du journal"},
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
