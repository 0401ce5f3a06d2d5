// Finnish texts of the language module "Lang_FIN.Dll". Product and server names and
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
    {String, 104, 0, "Orvo-ohjelmiston asetukset"},
    {String, 105, 0, "Kytke Orvo päälle ja liitä se tietokoneeseen\n USB-johdolla aloittaaksesi päivityksen."},
    {String, 106, 0, "Odota hetki....\nYhdistetään Orvoon."},
    {String, 107, 0, "Orvon sarjanro : "},
    {String, 109, 0, "Orvo päälle ja liitä .."},
    {String, 110, 0, "Ladataan tietoja"},
    {String, 111, 0,
     "Lataus valmis, irrota Orvo\ntietokoneesta. Napsauta X\n sulkeaksesi ohjelman tai liitä \nOrvo "
     "uudelleen uutta päivitystä varten."},
    {String, 112, 0, "Päivitys epäonnistui, liitä Orvo uudelleen."},
    {String, 113, 0,
     "Tietojen lataamisessa Varnet-palvelimelta tapahtui virhe. Virhe voi johtua siitä, ettei "
     "internetyhteyttä ole, palomuuriohjelmisto on estänyt latauksen tai Varnet-palvelin ei ole "
     "käytettävissä välttämättömän huollon vuoksi. Tarkista internetyhteys ja palomuurin asetukset."},
    {String, 114, 0, "Orvo-päivitysohjelman virhe"},
    {String, 115, 0, "Päivitys onnistui !"},
    {String, 116, 0,
     "Ladattuja tietoja ei voitu valmistella, koska päivitysohjelma ei voi kirjoittaa työtiedostojaan. "
     "Tarkista, että ohjelmakansioon voi kirjoittaa ja ettei levy ole täynnä, ja käynnistä "
     "päivitysohjelma sitten uudelleen."},
    {String, 117, 0,
     "Orvoa päivitetään. Jos suljet ohjelman nyt, Orvoon ei jää täydellistä "
     "kameratietokantaa.\n\nSuljetaanko ohjelma silti?"},
    {String, 118, 0, "Palvelin vastasi HTTP-tilakoodilla %1."},
    {String, 119, 0, "Kansioon %1 ei voitu kirjoittaa."},
    {String, 120, 0, "Ei yhteyttä palvelimeen %1."},
    {String, 121, 0, "Lataus aikakatkaistiin."},
    {String, 122, 0, "Palvelimen vastaus katkesi ennen loppuaan."},
    {String, 123, 0, "Palvelimen vastaus on aivan liian suuri ollakseen tietokanta."},
    {String, 124, 0, "Palvelimen vastausta ei voitu vastaanottaa."},
    {String, 125, 0, "Palvelimen vastauksessa ei ollut pituutta, joten sen täydellisyyttä ei voitu todeta."},
    {String, 126, 0, "Levy, jolla %1 sijaitsee, on täynnä."},
    {String, 127, 0, "Kansioon %1 ei voi kirjoittaa."},
    {String, 129, 0, "Asetuksiasi ei voitu tallentaa tiedostoon %1. Ne kysytään uudelleen seuraavalla käynnistyskerralla."},
    {String, 130, 0, "Tietokanta %1, %2 kameraa"},
    {String, 131, 0, "Tietokanta ilman päiväystä, %2 kameraa"},
    {String, 132, 0, "Ei tietokantaa"},
    {String, 133, 0, "\u00A0"},  // a no-break space: a number never wraps
    {String, 134, 0, "Uusi tietokanta sisältää vain %1 kameraa, Orvossa on nyt %2. Alle puolet voi tarkoittaa, että palvelin tai tiedosto on vaillinainen.\n\nKirjoitetaanko pienempi tietokanta silti?"},
    {String, 140, 0, "Päivityshistoriaa ei voida pitää: %1\nPäivitykset jatkuvat ilman sitä."},
    {String, 141, 0, "Lokia ei voida kirjoittaa: %1\nPäivitykset jatkuvat ilman sitä."},
    {String, 142, 0, "Päivityshistoria"},
    {String, 143, 0, "Aloitettu"},
    {String, 144, 0, "Orvon sarjanro"},
    {String, 145, 0, "Lähde"},
    {String, 146, 0, "Tulos"},
    {String, 147, 0, "Kamerat"},
    {String, 148, 0, "Tietokannan päiväys"},
    {String, 149, 0, "Syy"},
    {String, 150, 0, "Sulje"},
    {String, 151, 0, "Yhtään päivitystä ei ole vielä kirjattu."},
    {String, 152, 0, "Päivityspalvelin"},
    {String, 153, 0, "Tiedosto"},
    {String, 154, 0, "Palautus"},
    {String, 155, 0, "Onnistui"},
    {String, 156, 0, "Jo ajan tasalla"},
    {String, 157, 0, "Epäonnistui"},
    {String, 158, 0, "Keskeytyi"},
    {String, 159, 0, "Käynnissä"},
    {String, 160, 0, "Palauta aiempi tietokanta"},
    {String, 161, 0, "Orvosta %1 tallennetut tietokannat, uusin ensin. Valittu kirjoitetaan takaisin omalla päiväyksellään."},
    {String, 162, 0, "Tallennettu"},
    {String, 163, 0, "Orvoa ei ole yhdistetty. Yhdistä Orvo ensin ja valitse tämä sitten uudelleen."},
    {String, 164, 0, "Orvosta %1 ei ole vielä tallennettu aiempaa tietokantaa."},
    {String, 165, 0, "Orvoa päivitetään parhaillaan. Odota, kunnes tämä päivitys on päättynyt, ja yritä sitten uudelleen."},
    {String, 166, 0, "Tietokanta kirjoitetaan, kun Orvo yhdistetään seuraavan kerran. Jos se on nyt yhdistettynä, irrota se ja yhdistä uudelleen."},
    {String, 167, 0, "Valitse tietokantatiedosto"},
    {String, 168, 0, "Tietokantatekstit (*.txt);;Kaikki tiedostot (*)"},
    {String, 169, 0, "Lokikansiota %1 ei voitu avata."},
    {String, 170, 0, "&Kyllä"},
    {String, 171, 0, "&Ei"},
    {String, 172, 0, "Tarkistus epäonnistui: laite poikkeaa tietokannasta osoitteessa %1."},
    {String, 173, 0, "Orvon tietokantaa ei voitu lukea kopion tallentamiseksi; mitään ei poistettu."},
    {String, 174, 0, "Laitteen muistikarttaa ei voida lukea..."},
    {String, 175, 0, "Ei USB-oikeutta: asenna udev-sääntö 70-orvo-dfu.rules"},
    {String, 176, 0, "Toinen laite liitettiin ennen kirjoitusta."},
    {String, 177, 0, "Ei yhteyttä päivityspalvelimeen."},
    {String, 178, 0, "fi"},
    {String, 179, 0, "Ohjelma päättyi ennen kuin päivitys valmistui."},
    {String, 200, 0, "Orvo säilyttää tietokantansa. Irrota\nOrvo tietokoneesta."},
    {String, 201, 0, "Tietokanta kirjoitetaan, kun Orvo yhdistetään."},
    {String, 202, 0, "Palautus onnistui !"},
    {String, 203, 0, "Säilytetty"},
    {String, 204, 0, "Orvolle ei ole USB-ajuria: asenna orvo-dfu.inf"},
    {String, 205, 0, "Tiedostossa %1 ei ole yhtään kameratietuetta: se ei ole tietokantateksti."},
    {Menu, Menu128, 0, "&Valikko"},
    {Menu, Menu128, 32771, "&Kieli\tCtrl+L"},
    {Menu, Menu128, 32772, "Kameratietojen la&taukset"},
    {Menu, Menu128, 32780, "Päivitys&historia…"},
    {Menu, Menu128, 32781, "&Palauta aiempi tietokanta…"},
    {Menu, Menu128, 32782, "Päivitä tie&dostosta…"},
    {Menu, Menu128, 32783, "Avaa l&okikansio"},
    {Menu, Menu128, 57665, "&Lopeta\tCtrl+X"},
    {Dialog, Language130, 0, "Kieli"},
    {Dialog, Language130, 1, "OK"},
    {Dialog, Language130, 2, "Peruuta"},
    {Dialog, Download131, 0, "Orvon kameratietojen lataukset"},
    {Dialog, Download131, 1, "OK"},
    {Dialog, Download131, 2, "Peruuta"},
    {Dialog, Download131, -1, "Latauskoko:"},
    {Dialog, Download131, -2,
     "Valitse lataukset, jotka haluat saada, kun päivität Orvosi seuraavan kerran.\nHuom: Lataus "
     "sisältää vain nopeusvalvontakameroiden tai Britannian koulujen tiedot, ei karttatietoja."},
    {Dialog, Download131, 1000, "Kamerat: Britannia, Irlanti"},
    {Dialog, Download131, 1001, "Koulut: Britannia"},
    {Dialog, Download131, 1005, "Ranska, Espanja, Port., Italia"},
    {Dialog, Download131, 1002, "Hollanti, Belgia, Luxemburg"},
    {Dialog, Download131, 1003, "Saksa, Itävalta, Sveitsi"},
    {Dialog, Download131, 1004, "Suomi, Tanska, Ruotsi, Norja"},
    {Dialog, Download131, 1006, "Etelä-Afrikka "},
};

const std::size_t ModuleTextCount = std::size(ModuleTexts);
