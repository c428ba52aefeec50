#pragma once
// Installs the start-up and shutdown steps of the library's upper layers
// (codecs, I/O, views, processing, dialogs, pictures and controls) into the
// library's start-up table, so that IEStaticInitialize prepares everything in
// its one order. The program calls it once before IEStaticInitialize.
void FolivraInstallLibrarySteps();
// Registers the component classes the form resources name (views, I/O and
// processing components, controls, picture buttons). Idempotent.
void FolivraRegisterComponentClasses();
