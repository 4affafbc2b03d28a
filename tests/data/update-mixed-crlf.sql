-- Replication procedures of the QTV configuration database
SET QUOTED_IDENTIFIER ON
GO

/****** Object:  StoredProcedure [dbo].[sp_MSupd_dboCustomers]    Script Date: 2024-03-01 10:00:00 ******/
create procedure [dbo].[sp_MSupd_dboCustomers] 
 @c1 int,@c2 varchar(40),@c3 varchar(20),@pkc1 int
,@bitmap binary(1)
as

if substring(@bitmap,1,1) & 1 = 1
begin
update "Customers" set
"customer_id" = case substring(@bitmap,1,1) & 1 when 1 then @c1 else "customer_id" end
,"name" = case substring(@bitmap,1,1) & 2 when 2 then @c2 else "name" end
,"city" = case substring(@bitmap,1,1) & 4 when 4 then @c3 else "city" end
where "customer_id" = @pkc1
if @@rowcount = 0
	if @@microsoftversion>0x07320000
		exec sp_MSreplraiserror 20598
end
else
begin

update "Customers" set
"name" = case substring(@bitmap,1,1) & 2 when 2 then @c2 else "name" end
,"city" = case substring(@bitmap,1,1) & 4 when 4 then @c3 else "city" end
where "customer_id" = @pkc1
if @@rowcount = 0
	if @@microsoftversion>0x07320000
		exec sp_MSreplraiserror 20598
end
GO

/****** Object:  StoredProcedure [dbo].[sp_MSupd_dboRegions]    Script Date: 2024-03-01 10:00:00 ******/
SET ANSI_NULLS ON
GO
create procedure [dbo].[sp_MSupd_dboRegions]
		@c1 int = NULL,
		@c2 nvarchar(50) = NULL,
		@pkc1 int = NULL,
		@bitmap binary(1)
as
begin
	declare @primarykey_text nvarchar(100) = ''
IF (SUBSTRING(@bitmap,1,1) & 1 = 1)
begin
UPDATE [dbo].[Regions] set
		[RegionID] = case substring(@bitmap,1,1) & 1 when 1 then @c1 else [RegionID] end,
		[RegionName] = case substring(@bitmap,1,1) & 2 when 2 then @c2 else [RegionName] end
	where [RegionID] = @pkc1
if @@rowcount = 0
    if @@microsoftversion>0x07320000
		exec sp_MSreplraiserror @errorid=20598
end
else
begin
UPDATE [dbo].[Regions] set
		[RegionName] = case substring(@bitmap,1,1) & 2 when 2 then @c2 else [RegionName] end
	where [RegionID] = @pkc1
if @@rowcount = 0
    if @@microsoftversion>0x07320000
		exec sp_MSreplraiserror @errorid=20598
end
end

GO
create procedure "sp_MSupd_dboWfxPrincipalRoles" 
 @c1 int,@c2 int,@c3 bit,@pkc1 int,@pkc2 int
,@bitmap binary(1)
as
update "WfxPrincipalRoles" set
"can_edit" = case substring(@bitmap,1,1) & 4 when 4 then @c3 else "can_edit" end
where "principal_id" = @pkc1 and "role_id" = @pkc2
if @@rowcount = 0
	if @@microsoftversion>0x07320000
		exec sp_MSreplraiserror 20598
GO

create procedure [dbo].[sp_MSupd_dboShipments] 
 @c1 int,@c2 int,@c3 datetime,@pkc1 int
,@bitmap binary(1)
AS
	If Substring(@bitmap,1,1) & 1 = 1
BEGIN
UPDATE "Shipments" set
"shipment_id" = case substring(@bitmap,1,1) & 1 when 1 then @c1 else "shipment_id" end
,"customer_id" = case substring(@bitmap,1,1) & 2 when 2 then @c2 else "customer_id" end
,"shipped_at" = case substring(@bitmap,1,1) & 4 when 4 then @c3 else "shipped_at" end
where "shipment_id" = @pkc1
if @@ROWCOUNT = 0
	if @@microsoftversion>0x07320000
		exec sp_MSreplraiserror 20598
END
ELSE
BEGIN
UPDATE "Shipments" set
"customer_id" = case substring(@bitmap,1,1) & 2 when 2 then @c2 else "customer_id" end
,"shipped_at" = case substring(@bitmap,1,1) & 4 when 4 then @c3 else "shipped_at" end
where "shipment_id" = @pkc1
if @@ROWCOUNT = 0
	if @@microsoftversion>0x07320000
		exec sp_MSreplraiserror 20598
END
GO

-- end of replication procedures
