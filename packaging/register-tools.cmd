@echo off
rem Registers the simulation tools of this folder: the proxy/stub DLL of the OPC interfaces,
rem the simulation OPC HDA server and the OPC server list. On Windows run it as an
rem administrator. A machine that already marshals the OPC HDA interfaces through another
rem proxy/stub (the OPC Foundation's redistributable) keeps it.
setlocal
set here=%~dp0
set proxy=HKCR\Interface\{1F1217B0-DEE0-11d2-A5E5-000086339399}\ProxyStubClsid32
set ours={B5C1A7E2-3D4F-4A8B-9C6D-7E8F9A0B1C2D}
reg query "%proxy%" >nul 2>&1
if errorlevel 1 goto register_proxy
reg query "%proxy%" | find "%ours%" >nul
if not errorlevel 1 goto register_proxy
echo Another proxy/stub marshals the OPC HDA interfaces here: it is kept.
goto register_servers
:register_proxy
regsvr32 /s "%here%kesti-opc-ps.dll"
if errorlevel 1 goto failed
:register_servers
"%here%opchda-sim.exe" /RegServer
if errorlevel 1 goto failed
"%here%opc-serverlist.exe" /RegServer
if errorlevel 1 goto failed
echo The simulation tools are registered from %here%
exit /b 0
:failed
echo The registration failed: run this as an administrator. 1>&2
exit /b 1
