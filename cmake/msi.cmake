# Builds vexaWriter.msi from setup/vexaWriter.wxs with wixl, from the dated copy of the package
# that package_zip.cmake makes, completes the tables wixl cannot write, and signs it when signing
# is configured (scripts/sign.sh).
# The ProductCode is derived from the version, the PackageCode from everything the package
# holds; the summary information then gets that package code and SOURCE_DATE_EPOCH as its
# dates, so the same sources give the same bytes.
# VERSION is 1.0.BUILD, BUILD the product's build number (windows.cmake reads it from
# drv/install/foundation/product.h).
# Run as: cmake -DBUILD_DIR=<win64 build folder> -DSOURCE_DIR=<repository> -DVERSION=1.0.2609
#               -DACTION_DLL=<vexaMsiActions.dll> -DOUTPUT=<msi> -DEPOCH=<seconds> [-DSIGN=ON]
#               -P msi.cmake
set(dated ${BUILD_DIR}/dated)
set(namespace 0B4F5B8E-5C0D-4E7B-9C39-2F4B5E7A1D63)
file(COPY ${ACTION_DLL} DESTINATION ${dated})
get_filename_component(action_name ${ACTION_DLL} NAME)
execute_process(COMMAND touch -d @${EPOCH} ${dated}/${action_name} COMMAND_ERROR_IS_FATAL ANY)

string(UUID product_code NAMESPACE ${namespace} NAME "vexaWriter ${VERSION}" TYPE SHA1 UPPER)
file(GLOB_RECURSE inputs LIST_DIRECTORIES false ${dated}/package/*)
list(SORT inputs)
file(SHA256 ${SOURCE_DIR}/setup/vexaWriter.wxs contents)
foreach(input ${inputs} ${dated}/${action_name})
  file(SHA256 ${input} sum)
  string(APPEND contents " ${sum}")
endforeach()
string(UUID package_code NAMESPACE ${namespace} NAME "${VERSION}${contents}" TYPE SHA1 UPPER)

# Paths relative to the dated folder: wixl takes no absolute source paths.
file(REMOVE ${OUTPUT})
execute_process(
  COMMAND wixl -a x64 -D Version=${VERSION} -D ProductCode=${product_code}
          -D PackageCode=${package_code} -D PackageDir=package -D ActionDll=${action_name}
          -o ${OUTPUT} ${SOURCE_DIR}/setup/vexaWriter.wxs
  WORKING_DIRECTORY ${dated} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "wixl failed: ${result}")
endif()
# wixl writes Execute="rollback" as an immediate action: make UndoInstall the rollback action it
# is (in-script 1024 + rollback 256 + no impersonation 2048 + return ignored 64 + DLL 1).
execute_process(COMMAND msibuild ${OUTPUT} -q
                        "UPDATE `CustomAction` SET `Type` = 3393 WHERE `Action` = 'UndoInstall'"
                COMMAND_ERROR_IS_FATAL ANY)
# The properties an administrator sets reach the deferred actions of a managed install only
# when they are secure; wixl lists only its own upgrade properties.
execute_process(COMMAND msibuild ${OUTPUT} -q
                        "UPDATE `Property` SET `Value` = 'INSTALLDIR;NOTRAY;WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED' WHERE `Property` = 'SecureCustomProperties'"
                COMMAND_ERROR_IS_FATAL ANY)
# The install folder (created through the CreateFolder row of the component "Settings") gets an
# access list of its own, inherited by everything below it and none from its parent, so that a
# folder an administrator chooses anywhere passes the installer's check of its payload folders:
# owner Administrators; the system account and Administrators full control; Users read and
# execute; no one else anything.
set(folder_sddl "O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)")
execute_process(
  COMMAND msibuild ${OUTPUT} -q
          "CREATE TABLE `MsiLockPermissionsEx` (`MsiLockPermissionsEx` CHAR(72) NOT NULL, `LockObject` CHAR(72) NOT NULL, `Table` CHAR(32) NOT NULL, `SDDLText` LONGCHAR NOT NULL, `Condition` CHAR(255) PRIMARY KEY `MsiLockPermissionsEx`)"
  COMMAND_ERROR_IS_FATAL ANY)
execute_process(
  COMMAND msibuild ${OUTPUT} -q
          "INSERT INTO `MsiLockPermissionsEx` (`MsiLockPermissionsEx`, `LockObject`, `Table`, `SDDLText`) VALUES ('InstallFolder', 'INSTALLDIR', 'CreateFolder', '${folder_sddl}')"
  COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND python3 ${SOURCE_DIR}/cmake/msi_file_versions.py ${OUTPUT}
                        ${dated}/package COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND python3 ${SOURCE_DIR}/cmake/msi_summary.py ${OUTPUT} {${package_code}}
                        ${EPOCH} COMMAND_ERROR_IS_FATAL ANY)
if(SIGN)
  execute_process(COMMAND ${SOURCE_DIR}/scripts/sign.sh ${OUTPUT} COMMAND_ERROR_IS_FATAL ANY)
endif()
