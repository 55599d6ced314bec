#pragma once

// Makes screen readers see a GridView as a table whose cells are named by their row and
// column headers. Installed once, by the first GridView.
void InstallGridAccessibleFactory();
