#pragma once

// Placeholder until the catalogue lands.
class FirmwareCatalog
{
};
