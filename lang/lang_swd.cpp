// Swedish texts of the language module "Lang_SWD.Dll". Product and server names and
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
    {String, 104, 0, "Konfiguration av Orvo-programvaran"},
    {String, 105, 0, "Slå på Orvo och anslut den till datorn\n med en USB-kabel för att starta uppdateringen."},
    {String, 106, 0, "Vänta....\nAnsluter till Orvo."},
    {String, 107, 0, "Orvo serienr : "},
    {String, 109, 0, "på Orvo och anslut .."},
    {String, 110, 0, "Hämtar data"},
    {String, 111, 0,
     "Hämtningen är klar, koppla bort\nOrvo från datorn. Klicka på X\n för att stänga programmet eller "
     "anslut \nOrvo igen för att uppdatera på nytt."},
    {String, 112, 0, "Uppdateringen misslyckades, anslut Orvo igen."},
    {String, 113, 0,
     "Ett fel uppstod när data hämtades från Varnet-servern. Felet kan uppstå om du inte är ansluten "
     "till internet, om brandväggsprogrammet har blockerat hämtningen eller om Varnet-servern är ur "
     "drift på grund av nödvändigt underhåll. Kontrollera internetanslutningen och brandväggens "
     "inställningar."},
    {String, 114, 0, "Fel i Orvo-uppdateraren"},
    {String, 115, 0, "Uppgraderingen lyckades !"},
    {String, 116, 0,
     "Hämtade data kunde inte förberedas eftersom uppdateringsprogrammet inte kan skriva sina "
     "arbetsfiler. Kontrollera att det går att skriva i programmappen och att disken inte är full, och "
     "starta sedan uppdateringsprogrammet igen."},
    {String, 117, 0,
     "Orvo uppdateras. Om du stänger programmet nu blir Orvo utan en fullständig kameradatabas.\n\nVill "
     "du stänga programmet ändå?"},
    {String, 118, 0, "Servern svarade med HTTP-status %1."},
    {String, 119, 0, "Det gick inte att skriva till %1."},
    {String, 120, 0, "Ingen anslutning till %1."},
    {String, 121, 0, "Tidsgränsen för hämtningen överskreds."},
    {String, 122, 0, "Serverns svar avbröts innan det var klart."},
    {String, 123, 0, "Serverns svar är alldeles för stort för att vara en databas."},
    {String, 124, 0, "Serverns svar kunde inte tas emot."},
    {String, 125, 0, "Serverns svar saknade längd, så det gick inte att avgöra om det var komplett."},
    {String, 126, 0, "Disken med %1 är full."},
    {String, 127, 0, "Mappen %1 är skrivskyddad."},
    {String, 129, 0, "Dina inställningar kunde inte sparas i %1. De efterfrågas igen vid nästa start."},
    {String, 130, 0, "Databas från %1, %2 kameror"},
    {String, 131, 0, "Databas utan datum, %2 kameror"},
    {String, 132, 0, "Ingen databas"},
    {String, 133, 0, "\u00A0"},  // a no-break space: a number never wraps
    {String, 134, 0, "Den nya databasen innehåller bara %1 kameror, Orvo innehåller nu %2. Färre än hälften kan betyda att servern eller filen är ofullständig.\n\nVill du skriva den mindre databasen ändå?"},
    {String, 140, 0, "Uppdateringshistoriken kan inte föras: %1\nUppdateringar fortsätter utan den."},
    {String, 141, 0, "Loggen kan inte skrivas: %1\nUppdateringar fortsätter utan den."},
    {String, 142, 0, "Uppdateringshistorik"},
    {String, 143, 0, "Startad"},
    {String, 144, 0, "Orvo serienr"},
    {String, 145, 0, "Källa"},
    {String, 146, 0, "Resultat"},
    {String, 147, 0, "Kameror"},
    {String, 148, 0, "Databasens datum"},
    {String, 149, 0, "Orsak"},
    {String, 150, 0, "Stäng"},
    {String, 151, 0, "Ingen uppdatering har registrerats ännu."},
    {String, 152, 0, "Uppdateringsserver"},
    {String, 153, 0, "Fil"},
    {String, 154, 0, "Återställning"},
    {String, 155, 0, "Lyckades"},
    {String, 156, 0, "Redan aktuell"},
    {String, 157, 0, "Misslyckades"},
    {String, 158, 0, "Avbruten"},
    {String, 159, 0, "Pågår"},
    {String, 160, 0, "Återställ tidigare databas"},
    {String, 161, 0, "Sparade databaser från Orvo serienr %1, nyaste först. Den du väljer skrivs tillbaka med sitt eget datum."},
    {String, 162, 0, "Sparad"},
    {String, 163, 0, "Ingen Orvo är ansluten. Anslut först Orvo och välj sedan detta igen."},
    {String, 164, 0, "Ingen tidigare databas från Orvo serienr %1 har sparats ännu."},
    {String, 165, 0, "Orvo uppdateras just nu. Vänta tills denna uppdatering är klar och försök sedan igen."},
    {String, 166, 0, "Databasen skrivs nästa gång Orvo ansluts. Om den är ansluten nu, koppla från den och anslut den igen."},
    {String, 167, 0, "Välj en databasfil"},
    {String, 168, 0, "Databastexter (*.txt);;Alla filer (*)"},
    {String, 169, 0, "Loggmappen %1 kunde inte öppnas."},
    {String, 170, 0, "&Ja"},
    {String, 171, 0, "&Nej"},
    {String, 172, 0, "Verifieringen misslyckades: enheten skiljer sig från databasen på adress %1."},
    {String, 173, 0, "Orvos databas kunde inte läsas för att spara en kopia av den; ingenting raderades."},
    {String, 174, 0, "Det går inte att läsa enhetens minneskarta..."},
    {String, 175, 0, "Ingen USB-behörighet: installera udev-regeln 70-orvo-dfu.rules"},
    {String, 176, 0, "En annan enhet anslöts före skrivningen."},
    {String, 177, 0, "Ingen anslutning till uppdateringsservern."},
    {String, 178, 0, "sv"},
    {String, 179, 0, "Programmet avslutades innan uppdateringen var klar."},
    {String, 200, 0, "Orvo behåller sin databas. Koppla bort\nOrvo från datorn."},
    {String, 201, 0, "Databasen skrivs när Orvo ansluts."},
    {String, 202, 0, "Återställningen lyckades !"},
    {String, 203, 0, "Behållen"},
    {String, 204, 0, "Ingen USB-drivrutin för Orvo: installera orvo-dfu.inf"},
    {String, 205, 0, "Filen %1 innehåller ingen fartkamera: den är ingen databastext."},
    {Menu, Menu128, 0, "&Meny"},
    {Menu, Menu128, 32771, "&Språk\tCtrl+L"},
    {Menu, Menu128, 32772, "&Hämtning av kameradata"},
    {Menu, Menu128, 32780, "Uppdateringshis&torik…"},
    {Menu, Menu128, 32781, "Åte&rställ tidigare databas…"},
    {Menu, Menu128, 32782, "Uppdatera från en &fil…"},
    {Menu, Menu128, 32783, "Öppna l&oggmappen"},
    {Menu, Menu128, 57665, "&Avsluta\tCtrl+X"},
    {Dialog, Language130, 0, "Språk"},
    {Dialog, Language130, 1, "OK"},
    {Dialog, Language130, 2, "Avbryt"},
    {Dialog, Download131, 0, "Orvo – hämtning av kameradata"},
    {Dialog, Download131, 1, "OK"},
    {Dialog, Download131, 2, "Avbryt"},
    {Dialog, Download131, -1, "Total storlek:"},
    {Dialog, Download131, -2,
     "Markera de hämtningar du vill få nästa gång du uppdaterar din Orvo.\nObs! Hämtningen innehåller "
     "bara data om fartkameror eller brittiska skolor och inga kartdata."},
    {Dialog, Download131, 1000, "Kameror Storbritannien, Irland"},
    {Dialog, Download131, 1001, "Skolor Storbritannien"},
    {Dialog, Download131, 1005, "Frankrike, Span., Port., Italien"},
    {Dialog, Download131, 1002, "Holland, Belgien, Luxemburg"},
    {Dialog, Download131, 1003, "Tyskland, Österrike, Schweiz"},
    {Dialog, Download131, 1004, "Finland, Danmark, Sverige, Norge"},
    {Dialog, Download131, 1006, "Sydafrika "},
};

const std::size_t ModuleTextCount = std::size(ModuleTexts);
