/*
 * package.cpp - test support: building real packages (package.h).
 */
#include "support/package.h"

#include "support/machine.h"

PackageRecipe DefaultRecipe()
{
    PackageRecipe recipe;
    recipe.fromFiles = {
        {"program/qstrings.dll", "key file 8.0.1"},
        {"program/a.txt", "hello\n"},
        {"program/keep.txt", "unchanged\n"},
        {"program/gone.txt", "removed in 8.0.2\n"},
        {"data/quill.cfg", "data 1\n"},
    };
    recipe.toFiles = {
        {"program/qstrings.dll", "key file 8.0.2"},
        {"program/a.txt", "hello world\n"},
        {"program/keep.txt", "unchanged\n"},
        {"program/sub/new.txt", "brand new\n"},
        {"data/quill.cfg", "data 2\n"},
        {"system/qsys.dll", "system file\n"},
    };
    return recipe;
}

std::string BuildPackage(const std::string& strDir, const PackageRecipe& recipe, std::string* pstrLog)
{
    for (const auto& entry : recipe.fromFiles) WriteFile(strDir + "/from/" + entry.first, entry.second);
    for (const auto& entry : recipe.toFiles) WriteFile(strDir + "/to/" + entry.first, entry.second);
    WriteFile(strDir + "/license.txt", recipe.strLicense);
    WriteFile(strDir + "/tool.sh", "#!/bin/sh\necho tool \"$@\"\n");
    std::string strManifest = "[Package]\nFrom = " + recipe.strFrom + "\nTo = " + recipe.strTo +
                              "\nUpgradeType = " + recipe.strUpgradeType + "\nLicense = license.txt\nVersionTool = " +
                              (recipe.strVersionTool.empty() ? std::string("tool.sh") : recipe.strVersionTool) +
                              "\nCabinetTool = tool.sh\n" +
                              recipe.strExtraPackage + "\n[Releases]\n" + recipe.strFrom + " = from\n";
    for (size_t i = 0; i < recipe.betweenReleases.size(); i++) {
        std::string strTree = "between" + std::to_string(i);
        for (const auto& entry : recipe.betweenReleases[i].second)
            WriteFile(strDir + "/" + strTree + "/" + entry.first, entry.second);
        strManifest += recipe.betweenReleases[i].first + " = " + strTree + "\n";
    }
    strManifest += recipe.strTo + " = to\n";
    if (!recipe.strStrings.empty()) strManifest += "[Strings]\n" + recipe.strStrings + "\n";
    WriteFile(strDir + "/manifest.ini", strManifest);
    std::string strPackage = strDir + "/setup.exe";
    ProcessResult result =
        RunProcess({BinPath("tools/pack/heron-pack"), "build", strDir + "/manifest.ini", "-o", strPackage, "--quiet"});
    if (pstrLog) *pstrLog = result.strOut + result.strErr;
    return result.iExitCode == 0 ? strPackage : std::string();
}
