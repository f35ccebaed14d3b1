/*
 * package.h - test support: building real packages with heron-pack.
 */
#ifndef HERON_TESTS_SUPPORT_PACKAGE_H
#define HERON_TESTS_SUPPORT_PACKAGE_H

#include <map>
#include <string>
#include <utility>
#include <vector>

/* A release tree: relative Linux path below the tree ("program/a.txt") -> contents. */
typedef std::map<std::string, std::string> TreeFiles;

struct PackageRecipe {
    std::string strFrom = "Release 8.0.1|March 3, 2010";
    std::string strTo = "Release 8.0.2|May 1, 2010";
    TreeFiles fromFiles;
    TreeFiles toFiles;
    std::string strLicense = "Licence agreement.\nSecond line.\n";
    std::string strExtraPackage;  /* more lines for [Package] */
    std::string strStrings;       /* lines for [Strings] */
    std::vector<std::pair<std::string, TreeFiles>> betweenReleases; /* listed between From and To */
    std::string strUpgradeType = "2";
    std::string strVersionTool;   /* host path of the version-stamp tool; "" a stand-in that echoes */
};

/* The default trees: a changed file, an unchanged one, a new one in a
 * subdirectory, a data file, a removed file and the key file. */
PackageRecipe DefaultRecipe();

/* Writes the trees and the manifest below strDir and runs heron-pack build;
 * returns the package path ("" on failure, with the tool's output in *pstrLog). */
std::string BuildPackage(const std::string& strDir, const PackageRecipe& recipe, std::string* pstrLog = nullptr);

#endif
