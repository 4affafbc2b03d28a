-- replication procedures of the qtv configuration database
set quoted_identifier on
go
/****** object:  storedprocedure [dbo].[sp_msupd_dbocustomers]    script date: 2024-03-01 10:00:00 ******/
IF object_id('dbo.[sp_msupd_dbocustomers]') IS NOT NULL 
	DROP PROCEDURE dbo.[sp_msupd_dbocustomers]
GO
---------------------------
create procedure [dbo].[sp_msupd_dbocustomers] 
 @c1 int,@c2 varchar(40),@c3 varchar(20),@pkc1 int
,@bitmap binary(1)
as
begin
update "customers" set
"name" = case substring(@bitmap,1,1) & 2 when 2 then @c2 else "name" end
,"city" = case substring(@bitmap,1,1) & 4 when 4 then @c3 else "city" end
where "customer_id" = @pkc1
if @@rowcount = 0
	if @@microsoftversion>0x07320000
		exec sp_msreplraiserror 20598
end
go
/****** object:  storedprocedure [dbo].[sp_msupd_dboregions]    script date: 2024-03-01 10:00:00 ******/
set ansi_nulls on
go
/****** Object:  StoredProcedure [dbo].[ sp_msupd_dboregions ] ******/
 
IF object_id('dbo.[sp_msupd_dboregions]') IS NOT NULL 
	DROP PROCEDURE dbo.[sp_msupd_dboregions]
GO
---------------------------
create procedure [dbo].[sp_msupd_dboregions]
		@c1 int = null,
		@c2 nvarchar(50) = null,
		@pkc1 int = null,
		@bitmap binary(1)
as
begin
	declare @primarykey_text nvarchar(100) = ''
if (substring(@bitmap,1,1) & 1 = 1)
begin
update [dbo].[regions] set
		[regionid] = case substring(@bitmap,1,1) & 1 when 1 then @c1 else [regionid] end,
		[regionname] = case substring(@bitmap,1,1) & 2 when 2 then @c2 else [regionname] end
	where [regionid] = @pkc1
if @@rowcount = 0
    if @@microsoftversion>0x07320000
		exec sp_msreplraiserror @errorid=20598
end
else
begin
update [dbo].[regions] set
		[regionname] = case substring(@bitmap,1,1) & 2 when 2 then @c2 else [regionname] end
	where [regionid] = @pkc1
if @@rowcount = 0
    if @@microsoftversion>0x07320000
		exec sp_msreplraiserror @errorid=20598
end
end
go
/****** Object:  StoredProcedure [dbo].[ sp_msupd_dbowfxprincipalroles ] ******/
 
IF object_id('dbo.[sp_msupd_dbowfxprincipalroles]') IS NOT NULL 
	DROP PROCEDURE dbo.[sp_msupd_dbowfxprincipalroles]
GO
---------------------------
create procedure "sp_msupd_dbowfxprincipalroles" 
 @c1 int,@c2 int,@c3 bit,@pkc1 int,@pkc2 int
,@bitmap binary(1)
as
update "wfxprincipalroles" set
"can_edit" = case substring(@bitmap,1,1) & 4 when 4 then @c3 else "can_edit" end
where "principal_id" = @pkc1 and "role_id" = @pkc2
if @@rowcount = 0
	if @@microsoftversion>0x07320000
		exec sp_msreplraiserror 20598
go
/****** Object:  StoredProcedure [dbo].[ sp_msupd_dboshipments ] ******/
 
IF object_id('dbo.[sp_msupd_dboshipments]') IS NOT NULL 
	DROP PROCEDURE dbo.[sp_msupd_dboshipments]
GO
---------------------------
create procedure [dbo].[sp_msupd_dboshipments] 
 @c1 int,@c2 int,@c3 datetime,@pkc1 int
,@bitmap binary(1)
as
	begin
update "shipments" set
"customer_id" = case substring(@bitmap,1,1) & 2 when 2 then @c2 else "customer_id" end
,"shipped_at" = case substring(@bitmap,1,1) & 4 when 4 then @c3 else "shipped_at" end
where "shipment_id" = @pkc1
if @@rowcount = 0
	if @@microsoftversion>0x07320000
		exec sp_msreplraiserror 20598
end
go
-- end of replication procedures
