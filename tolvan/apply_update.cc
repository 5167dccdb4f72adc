// Applying the chosen update: backup, downloads, copies into the program folder, and the
// installer route.
#include <string>

#include "common/backup.h"
#include "common/file_helper.h"
#include "common/texts.h"
#include "common/version_info.h"
#include "tolvan/installed_pair.h"
#include "tolvan/text_util.h"
#include "tolvan/texts.h"
#include "tolvan/update_flow.h"
#include "tolvan/version_number.h"

namespace tolvan {
namespace {

namespace ct = common::texts;

// The size as the installer check has always seen it: through a 32-bit integer, so a size
// that does not fit counts as 0.
int64_t SizeThrough32Bits(int64_t size) {
  if (size > INT32_MAX || size < INT32_MIN) return 0;
  return size;
}

}  // namespace

bool UpdateFlow::CopyIntoProgramFolder(const std::string& from, const std::string& name) {
  // Through a temporary file and a rename: the installed file is either the old one or the
  // new one, never half of each. A program keeps the permission bits of the one it replaces.
  const std::string target = env_.ProgramFolder() + name;
  const common::FileKind kind =
      name == texts::kMasterDbName ? common::FileKind::kData : common::FileKind::kProgram;
  std::string why;
  if (RunStep([&] { return common::CopyFileAtomic(from, target, kind, &why); })) return true;
  // Not installed: the user must know, and the log must say which file and why.
  Log(Format(texts::kLogCopyFailed, target, why));
  Ui().ShowMessage(MessageKind::kWarning, Format(texts::kMsgCopyFailed, name, why));
  return false;
}

void UpdateFlow::ApplyUpdate(UpdateChoice iR2, const std::string& DownLoadPath) {
  if (iR2 == UpdateChoice::kProgramAndMaster) {
    RunStep([&] { common::BackUpPro(env_, texts::kBackupCaption, texts::kBackupKind); });
  }
  Ui().SetStatusVisible(true);
  Ui().SetStatusText(texts::kStatusUpdating);
  Ui().SetBusyCursor(false);

  if (iR2 == UpdateChoice::kProgramAndMaster) {
    AutoDl(DownLoadPath + ct::kMainProgramName, url_ + ct::kMainProgramName);
    AutoDl(DownLoadPath + texts::kMasterDbName, url_ + texts::kMasterDbName);
  } else if (iR2 == UpdateChoice::kMasterOnly) {
    AutoDl(DownLoadPath + texts::kMasterDbName, url_ + texts::kMasterDbName);
  }

  if (iR2 == UpdateChoice::kInstaller) {
    InstallerRoute(DownLoadPath);
  } else if (iR2 == UpdateChoice::kMasterOnly) {
    if (CopyIntoProgramFolder(DownLoadPath + texts::kMasterDbName, texts::kMasterDbName)) {
      Ui().ShowButton1();
      Ui().SetStatusText(texts::kStatusUpdateDone);
      master_ = true;
    }
  } else if (iR2 == UpdateChoice::kProgramAndMaster) {
    CopyPair(DownLoadPath);
  }
}

void UpdateFlow::CopyPair(const std::string& DownLoadPath) {
  // The database and the program belong together: both are replaced or neither. The pair as
  // installed stays reachable until both copies are in (and is put back by the next start
  // when this run is killed in between).
  InstalledPair pair(env_.ProgramFolder(), texts::kMasterDbName, ct::kMainProgramName);
  RunStep([&] { pair.Keep(); });
  if (!CopyIntoProgramFolder(DownLoadPath + texts::kMasterDbName, texts::kMasterDbName)) {
    RunStep([&] { pair.Drop(); });
    return;
  }
  if (!CopyIntoProgramFolder(DownLoadPath + ct::kMainProgramName, ct::kMainProgramName)) {
    const bool restored = RunStep([&] { return pair.RestoreFirst(); });
    Log(Format(restored ? texts::kLogRestoredPrevious : texts::kLogRestoreFailed,
               texts::kMasterDbName));
    return;
  }
  RunStep([&] { pair.Commit(); });
  Ui().ShowButton1();
  Ui().SetStatusText(texts::kStatusMasterDone);
  Ui().ShowButton1();
  Ui().SetStatusText(texts::kStatusUpdateDone);
  master_ = true;
}

void UpdateFlow::InstallerRoute(const std::string& DownLoadPath) {
  pgm_ = true;
  const std::string local = env_.ProgramFolder() + texts::kSetupName;
  const std::string fetched = DownLoadPath + texts::kSetupName;
  if (!common::FileExists(local)) {
    AutoDl(fetched, url_ + texts::kSetupName);
    Log(texts::kLogSetupMissing);
  } else {
    const int64_t iSize = SizeThrough32Bits(common::TFileHelper::GetSize(local));
    const std::string stVer = common::GetEXEDLLVersionInfo2(local);
    const int32_t iV = GetVerNo(Trim(stVer));
    const int32_t iV2 = GetVerNo(Trim(setup_ver_));
    if (iSize > texts::kMinCurrentSetupSize && iV >= iV2) {
      Log(texts::kLogSetupCurrent);
      if (RunStep([&] { return common::CopyFileAtomic(local, fetched, common::FileKind::kProgram); })) {
        Log(texts::kLogSetupCurrent);
      }
    } else {
      AutoDl(fetched, url_ + texts::kSetupName);
      Log(Format(texts::kLogSetupOutdated, std::to_string(iSize), Trim(stVer), Trim(setup_ver_)));
    }
  }
  const bool started = RunStep([&] { return starter_.RunAs(fetched); });
  if (!started) Ui().ShowMessage(MessageKind::kWarning, texts::kMsgSetupStartFailed);
}

}  // namespace tolvan
