#pragma once

// The programs write UTF-8 (a cause in the language in force, a path with
// accents): a console that shows another code page would garble it.
void UseUtf8Console();
