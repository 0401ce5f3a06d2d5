// Dutch texts of the language module "Lang_DUT.Dll". Product and server names and
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
    {String, 104, 0, "Orvo-softwareconfiguratie"},
    {String, 105, 0, "Zet de Orvo aan en sluit hem aan op uw pc\n met een USB-kabel om de update te starten."},
    {String, 106, 0, "Even geduld....\nVerbinding maken met de Orvo."},
    {String, 107, 0, "Orvo-serienr. : "},
    {String, 109, 0, "de Orvo aan en sluit aan .."},
    {String, 110, 0, "Gegevens downloaden"},
    {String, 111, 0,
     "Download voltooid, koppel de Orvo\nlos van de pc. Klik op de X\n om dit programma te sluiten of "
     "sluit de \nOrvo opnieuw aan voor een nieuwe update."},
    {String, 112, 0, "Update mislukt, sluit de Orvo opnieuw aan."},
    {String, 113, 0,
     "Er is een fout opgetreden bij het downloaden van de gegevens van de Varnet-server. Deze fout kan "
     "optreden als u geen verbinding met internet hebt, als uw firewall het downloaden heeft geblokkeerd "
     "of als de Varnet-server offline is wegens noodzakelijk onderhoud. Controleer uw internetverbinding "
     "en de instellingen van uw firewall."},
    {String, 114, 0, "Fout bij bijwerken Orvo"},
    {String, 115, 0, "Bijwerken geslaagd !"},
    {String, 116, 0,
     "De gedownloade gegevens konden niet worden voorbereid, omdat het updateprogramma zijn "
     "werkbestanden niet kan schrijven. Controleer of er in de programmamap geschreven kan worden en of "
     "de schijf niet vol is, en start het updateprogramma daarna opnieuw."},
    {String, 117, 0,
     "De Orvo wordt bijgewerkt. Als u het programma nu sluit, blijft de Orvo achter zonder volledige "
     "flitspaaldatabase.\n\nHet programma toch sluiten?"},
    {String, 118, 0, "De server antwoordde met HTTP-status %1."},
    {String, 119, 0, "Kan niet schrijven naar %1."},
    {String, 120, 0, "Geen verbinding met %1."},
    {String, 121, 0, "Het downloaden duurde te lang (time-out)."},
    {String, 122, 0, "Het antwoord van de server werd voortijdig afgebroken."},
    {String, 123, 0, "Het antwoord van de server is veel te groot voor een database."},
    {String, 124, 0, "Het antwoord van de server kon niet worden ontvangen."},
    {String, 125, 0, "Het antwoord van de server had geen lengte, dus kon niet worden vastgesteld of het volledig was."},
    {String, 126, 0, "De schijf met %1 is vol."},
    {String, 127, 0, "Er mag niet in de map %1 worden geschreven."},
    {String, 129, 0, "Uw instellingen konden niet worden opgeslagen in %1. Ze worden bij de volgende start opnieuw gevraagd."},
    {String, 130, 0, "Database van %1, %2 flitspalen"},
    {String, 131, 0, "Database zonder datum, %2 flitspalen"},
    {String, 132, 0, "Geen database"},
    {String, 133, 0, "."},
    {String, 134, 0, "De nieuwe database bevat slechts %1 flitspalen, de Orvo bevat er nu %2. Minder dan de helft kan betekenen dat de server of het bestand onvolledig is.\n\nDe kleinere database toch schrijven?"},
    {String, 140, 0, "De updategeschiedenis kan niet worden bijgehouden: %1\nUpdates gaan door zonder geschiedenis."},
    {String, 141, 0, "Het logboek kan niet worden geschreven: %1\nUpdates gaan door zonder logboek."},
    {String, 142, 0, "Updategeschiedenis"},
    {String, 143, 0, "Gestart"},
    {String, 144, 0, "Orvo-serienr."},
    {String, 145, 0, "Bron"},
    {String, 146, 0, "Resultaat"},
    {String, 147, 0, "Flitspalen"},
    {String, 148, 0, "Databasedatum"},
    {String, 149, 0, "Oorzaak"},
    {String, 150, 0, "Sluiten"},
    {String, 151, 0, "Er is nog geen update vastgelegd."},
    {String, 152, 0, "Updateserver"},
    {String, 153, 0, "Bestand"},
    {String, 154, 0, "Herstel"},
    {String, 155, 0, "Geslaagd"},
    {String, 156, 0, "Al actueel"},
    {String, 157, 0, "Mislukt"},
    {String, 158, 0, "Onderbroken"},
    {String, 159, 0, "Bezig"},
    {String, 160, 0, "Vorige database herstellen"},
    {String, 161, 0, "Bewaarde databases van Orvo-serienr. %1, nieuwste eerst. De gekozen database wordt met haar eigen datum teruggeschreven."},
    {String, 162, 0, "Bewaard op"},
    {String, 163, 0, "Er is geen Orvo aangesloten. Sluit eerst de Orvo aan en kies dit daarna opnieuw."},
    {String, 164, 0, "Van Orvo-serienr. %1 is nog geen eerdere database bewaard."},
    {String, 165, 0, "De Orvo wordt nu bijgewerkt. Wacht tot deze update klaar is en probeer het dan opnieuw."},
    {String, 166, 0, "De database wordt geschreven zodra de Orvo weer wordt aangesloten. Is hij nu aangesloten, koppel hem dan los en sluit hem opnieuw aan."},
    {String, 167, 0, "Databasebestand kiezen"},
    {String, 168, 0, "Databases in tekstvorm (*.txt);;Alle bestanden (*)"},
    {String, 169, 0, "De logboekmap %1 kon niet worden geopend."},
    {String, 170, 0, "&Ja"},
    {String, 171, 0, "&Nee"},
    {String, 172, 0, "Verificatie mislukt: het apparaat wijkt op adres %1 af van de database."},
    {String, 173, 0, "De database van de Orvo kon niet worden gelezen om er een kopie van te bewaren; er is niets gewist."},
    {String, 174, 0, "Kan de geheugenindeling van het apparaat niet lezen..."},
    {String, 175, 0, "Geen USB-toestemming: installeer de udev-regel 70-orvo-dfu.rules"},
    {String, 176, 0, "Vóór het schrijven werd een ander apparaat aangesloten."},
    {String, 177, 0, "Geen verbinding met de updateserver."},
    {String, 178, 0, "nl"},
    {String, 179, 0, "Het programma werd beëindigd voordat de update klaar was."},
    {String, 200, 0, "De Orvo behoudt zijn database. Koppel de\nOrvo los van de pc."},
    {String, 201, 0, "De database wordt geschreven zodra de Orvo wordt aangesloten."},
    {String, 202, 0, "Herstellen geslaagd !"},
    {String, 203, 0, "Behouden"},
    {String, 204, 0, "Geen USB-stuurprogramma voor de Orvo: installeer orvo-dfu.inf"},
    {String, 205, 0, "Het bestand %1 bevat geen flitser: het is geen databasetekst."},
    {Menu, Menu128, 0, "&Menu"},
    {Menu, Menu128, 32771, "&Taal\tCtrl+L"},
    {Menu, Menu128, 32772, "Orvo-flitspaal&downloads instellen"},
    {Menu, Menu128, 32780, "Update&geschiedenis…"},
    {Menu, Menu128, 32781, "Vorige database &herstellen…"},
    {Menu, Menu128, 32782, "Bijwerken vanuit een &bestand…"},
    {Menu, Menu128, 32783, "&Logboekmap openen"},
    {Menu, Menu128, 57665, "&Afsluiten\tCtrl+X"},
    {Dialog, Language130, 0, "Taal"},
    {Dialog, Language130, 1, "OK"},
    {Dialog, Language130, 2, "Annuleren"},
    {Dialog, Download131, 0, "Orvo-flitspaaldownloads instellen"},
    {Dialog, Download131, 1, "OK"},
    {Dialog, Download131, 2, "Annuleren"},
    {Dialog, Download131, -1, "Totale grootte:"},
    {Dialog, Download131, -2,
     "Vink de downloads aan die u bij de volgende update van uw Orvo wilt ontvangen.\nLet op: deze "
     "download bevat alleen gegevens over flitspalen of Britse scholen en geen kaartgegevens."},
    {Dialog, Download131, 1000, "Flitspalen VK, Ierland"},
    {Dialog, Download131, 1001, "Scholen VK"},
    {Dialog, Download131, 1005, "Frankrijk, Spanje, Port., Italië"},
    {Dialog, Download131, 1002, "Nederland, België, Luxemburg"},
    {Dialog, Download131, 1003, "Duitsland, Oostenrijk, Zwits."},
    {Dialog, Download131, 1004, "Finland, Denemarken, Zweden, Noorwegen"},
    {Dialog, Download131, 1006, "Zuid-Afrika "},
};

const std::size_t ModuleTextCount = std::size(ModuleTexts);
