@echo off
rem Removes the registrations that register-tools.cmd made (the proxy/stub only where it is ours).
setlocal
set here=%~dp0
set proxy=HKCR\Interface\{1F1217B0-DEE0-11d2-A5E5-000086339399}\ProxyStubClsid32
set ours={B5C1A7E2-3D4F-4A8B-9C6D-7E8F9A0B1C2D}
"%here%opc-serverlist.exe" /UnregServer
"%here%opchda-sim.exe" /UnregServer
reg query "%proxy%" 2>nul | find "%ours%" >nul
if not errorlevel 1 regsvr32 /s /u "%here%kesti-opc-ps.dll"
echo The simulation tools are no longer registered.
exit /b 0
