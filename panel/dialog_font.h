#pragma once

// The forms ask for the Windows dialog font, 9-point "MS UI Gothic". Tells Qt which Japanese
// fonts stand in for it here, so that every text of the forms is drawn in one Japanese face of
// about the metrics the forms were laid out for. Call once, before the first form is created.
void InstallDialogFont();
