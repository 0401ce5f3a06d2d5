// Spanish texts of the language module "Lang_SPN.Dll". Product and server names and
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
    {String, 104, 0, "Configuración del software Orvo"},
    {String, 105, 0, "Encienda el Orvo y conéctelo a su PC\n con un cable USB para iniciar la actualización."},
    {String, 106, 0, "Espere, por favor....\nConectando con el Orvo."},
    {String, 107, 0, "N.º de serie Orvo : "},
    {String, 109, 0, "el Orvo encendido y conecte .."},
    {String, 110, 0, "Descargando datos"},
    {String, 111, 0,
     "Descarga completada, desconecte el\nOrvo del PC. Haga clic en la X\n para cerrar este programa o "
     "vuelva a conectar \nel Orvo para actualizarlo de nuevo."},
    {String, 112, 0, "Error en la actualización, vuelva a conectar el Orvo."},
    {String, 113, 0,
     "Se ha producido un error al descargar los datos del servidor Varnet. Este error puede producirse "
     "si no está conectado a Internet, si su cortafuegos ha bloqueado la descarga o si el servidor "
     "Varnet está fuera de servicio por tareas de mantenimiento imprescindibles. Compruebe su conexión a "
     "Internet y la configuración de su cortafuegos."},
    {String, 114, 0, "Error del actualizador de Orvo"},
    {String, 115, 0, "¡Actualización correcta!"},
    {String, 116, 0,
     "No se han podido preparar los datos descargados porque el actualizador no puede escribir sus "
     "archivos de trabajo. Compruebe que se puede escribir en la carpeta del programa y que el disco no "
     "está lleno, y vuelva a iniciar el actualizador."},
    {String, 117, 0,
     "El Orvo se está actualizando. Si cierra el programa ahora, el Orvo quedará sin una base de datos "
     "de radares completa.\n\n¿Cerrar el programa de todos modos?"},
    {String, 118, 0, "El servidor respondió con el estado HTTP %1."},
    {String, 119, 0, "No se pudo escribir en %1."},
    {String, 120, 0, "No hay conexión con %1."},
    {String, 121, 0, "Se agotó el tiempo de la descarga."},
    {String, 122, 0, "La respuesta del servidor se cortó antes de terminar."},
    {String, 123, 0, "La respuesta del servidor es demasiado grande para ser una base de datos."},
    {String, 124, 0, "No se pudo recibir la respuesta del servidor."},
    {String, 125, 0, "La respuesta del servidor no indicaba su longitud; no se pudo saber si estaba completa."},
    {String, 126, 0, "El disco que contiene %1 está lleno."},
    {String, 127, 0, "No se puede escribir en la carpeta %1."},
    {String, 129, 0, "No se pudo guardar la configuración en %1. Se volverá a preguntar en el próximo inicio."},
    {String, 130, 0, "Base de datos del %1, %2 radares"},
    {String, 131, 0, "Base de datos sin fecha, %2 radares"},
    {String, 132, 0, "Sin base de datos"},
    {String, 133, 0, "."},
    {String, 134, 0, "La nueva base de datos solo contiene %1 radares y el Orvo contiene ahora %2. Menos de la mitad puede indicar que el servidor o el archivo están incompletos.\n\n¿Escribir de todos modos la base de datos más pequeña?"},
    {String, 140, 0, "No se puede llevar el historial de actualizaciones: %1\nLas actualizaciones siguen sin él."},
    {String, 141, 0, "No se puede escribir el registro: %1\nLas actualizaciones siguen sin él."},
    {String, 142, 0, "Historial de actualizaciones"},
    {String, 143, 0, "Inicio"},
    {String, 144, 0, "N.º de serie Orvo"},
    {String, 145, 0, "Origen"},
    {String, 146, 0, "Resultado"},
    {String, 147, 0, "Radares"},
    {String, 148, 0, "Fecha de la base"},
    {String, 149, 0, "Causa"},
    {String, 150, 0, "Cerrar"},
    {String, 151, 0, "Todavía no se ha registrado ninguna actualización."},
    {String, 152, 0, "Servidor de actualización"},
    {String, 153, 0, "Archivo"},
    {String, 154, 0, "Restauración"},
    {String, 155, 0, "Correcta"},
    {String, 156, 0, "Ya actualizada"},
    {String, 157, 0, "Fallida"},
    {String, 158, 0, "Interrumpida"},
    {String, 159, 0, "En curso"},
    {String, 160, 0, "Restaurar la base de datos anterior"},
    {String, 161, 0, "Bases de datos guardadas del Orvo n.º %1, la más reciente primero. La que elija se vuelve a escribir con su propia fecha."},
    {String, 162, 0, "Guardada el"},
    {String, 163, 0, "No hay ningún Orvo conectado. Conecte primero el Orvo y vuelva a elegir esta opción."},
    {String, 164, 0, "Todavía no se ha guardado ninguna base de datos anterior del Orvo n.º %1."},
    {String, 165, 0, "El Orvo se está actualizando. Espere a que termine esta actualización y vuelva a intentarlo."},
    {String, 166, 0, "La base de datos se escribirá la próxima vez que se conecte el Orvo. Si está conectado ahora, desconéctelo y vuelva a conectarlo."},
    {String, 167, 0, "Elegir un archivo de base de datos"},
    {String, 168, 0, "Bases de datos en formato de texto (*.txt);;Todos los archivos (*)"},
    {String, 169, 0, "No se ha podido abrir la carpeta del registro %1."},
    {String, 170, 0, "&Sí"},
    {String, 171, 0, "&No"},
    {String, 172, 0, "Error de verificación: el dispositivo difiere de la base de datos en la dirección %1."},
    {String, 173, 0, "No se pudo leer la base de datos del Orvo para guardar una copia; no se ha borrado nada."},
    {String, 174, 0, "No se puede leer el mapa de memoria del dispositivo..."},
    {String, 175, 0, "Sin permiso USB: instale la regla udev 70-orvo-dfu.rules"},
    {String, 176, 0, "Se conectó otro dispositivo antes de la escritura."},
    {String, 177, 0, "Sin conexión con el servidor de actualizaciones."},
    {String, 178, 0, "es"},
    {String, 179, 0, "El programa terminó antes que la actualización."},
    {String, 200, 0, "El Orvo conserva su base de datos. Desconecte\nel Orvo del PC."},
    {String, 201, 0, "La base de datos se escribirá cuando se conecte el Orvo."},
    {String, 202, 0, "¡Restauración correcta!"},
    {String, 203, 0, "Conservada"},
    {String, 204, 0, "Sin controlador USB para el Orvo: instale orvo-dfu.inf"},
    {String, 205, 0, "El archivo %1 no contiene ningún radar: no es un texto de base de datos."},
    {Menu, Menu128, 0, "&Menú"},
    {Menu, Menu128, 32771, "&Idioma\tCtrl+L"},
    {Menu, Menu128, 32772, "&Descargas de radares Orvo"},
    {Menu, Menu128, 32780, "&Historial de actualizaciones…"},
    {Menu, Menu128, 32781, "&Restaurar la base anterior…"},
    {Menu, Menu128, 32782, "Actualizar desde un &archivo…"},
    {Menu, Menu128, 32783, "Abrir la carpeta del regis&tro"},
    {Menu, Menu128, 57665, "&Salir\tCtrl+X"},
    {Dialog, Language130, 0, "Idioma"},
    {Dialog, Language130, 1, "Aceptar"},
    {Dialog, Language130, 2, "Cancelar"},
    {Dialog, Download131, 0, "Orvo: descargas de radares"},
    {Dialog, Download131, 1, "Aceptar"},
    {Dialog, Download131, 2, "Cancelar"},
    {Dialog, Download131, -1, "Tamaño total:"},
    {Dialog, Download131, -2,
     "Marque las descargas que desea recibir la próxima vez que actualice su Orvo.\nNota: esta descarga "
     "solo contiene datos de radares o de colegios del Reino Unido, sin datos cartográficos."},
    {Dialog, Download131, 1000, "Radares R. Unido, Irlanda"},
    {Dialog, Download131, 1001, "Colegios R. Unido"},
    {Dialog, Download131, 1005, "Francia, España, Port., Italia"},
    {Dialog, Download131, 1002, "Holanda, Bélgica, Luxemburgo"},
    {Dialog, Download131, 1003, "Alemania, Austria, Suiza"},
    {Dialog, Download131, 1004, "Finlandia, Dinamarca, Suecia, Noruega"},
    {Dialog, Download131, 1006, "Sudáfrica "},
};

const std::size_t ModuleTextCount = std::size(ModuleTexts);
